// connections.h - the shell's connections: which slots it has connected,
// what to call them, and which one statements go to.
#ifndef RORI_SHELL_CONNECTIONS_H
#define RORI_SHELL_CONNECTIONS_H

#include <string>
#include <vector>

#include "binary.h"
#include "library.h"
#include "splitter.h"

struct connection {
    int slot;
    std::string label;
    binary_delivery delivery; // how its driver hands over binary columns
    sql_dialect dialect;      // how its statements are split
    std::string connect_bytes; // what it was connected with, to connect it again
    // With autocommit off, a statement that changes data ran since the last
    // COMMIT, ROLLBACK or change of autocommit: work waits to be committed.
    bool work_pending = false;
    // BEGIN (or START TRANSACTION) ran with autocommit on, and no COMMIT or
    // ROLLBACK since.
    bool transaction_begun = false;
    // The slot is taken but not connected: connecting it again failed.
    bool unconnected = false;
};

class connection_table {
public:
    explicit connection_table(library &lib) : lib_(lib) {}

    // Takes a slot and connects it with the connect text's bytes; the new
    // connection becomes the current one. On failure the slot is given back
    // and the outcome says why.
    outcome open(const std::string &connect_bytes);
    // Disconnects a slot of this table; false when it has none there.
    bool close(int slot);
    // Whether autocommit is off on a connected slot, so that disconnecting
    // it rolls back the work that was not committed.
    bool autocommit_off(int slot);
    // Whether the driver says the slot's connection is lost, or the slot
    // has none since connecting it again failed.
    bool is_dead(int slot);
    // Lists a connection whose slot was disconnected and could not be
    // connected again, on a fresh slot without a connection, so that it can
    // be connected again later with the same text.
    void keep_unconnected(connection c, bool make_current);
    // Keeps track of the work waiting to be committed on a slot after one of
    // its statements succeeded.
    void statement_ran(int slot, const std::string &sql);
    // Turning autocommit on commits the open transaction: no work is
    // pending after it.
    void autocommit_turned_on(int slot);
    bool work_pending(int slot) const;
    // A transaction is open on the slot: autocommit is off, or BEGIN ran.
    bool in_transaction(int slot);
    // Makes a connected slot the current one.
    bool use(int slot);

    int current() const { return current_; }
    // The dialect of the current connection; standard SQL without one.
    sql_dialect current_dialect() const;
    const connection *find(int slot) const;
    const std::vector<connection> &all() const { return open_; }

    // Some requests need a slot with a connection handle but no connection
    // (data sources, the library's name): the current slot, or else a fresh
    // one that give_back returns.
    outcome borrow(int *slot);
    void give_back(int slot);

private:
    void sort_by_slot();

    library &lib_;
    std::vector<connection> open_;
    int current_ = 0;
};

#endif
