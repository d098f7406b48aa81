// library.h - the shell's requests to the library: one method per request it
// sends, each building the parameter block through the stand-in host and
// reading the answer back from the status block. Nothing here talks to ODBC;
// every database operation is a call of vizori.
#ifndef RORI_SHELL_LIBRARY_H
#define RORI_SHELL_LIBRARY_H

#include <cstdint>
#include <string>
#include <vector>

#include "host.h"

// What a request left in its status block, and the diagnostic message that
// OP_GETERROR returned when the request captured a diagnostic record.
struct outcome {
    int opcode = 0;       // the request
    int status = ST_OK;
    int32_t native = 0;   // +20
    std::string sqlstate; // +36; empty when no diagnostic was read, "?" when none was found
    int32_t result = 0;   // +24
    double rowcount = 0;  // +28
    int slot = 0;         // +0 after the request
    std::string message;  // from OP_GETERROR, when a record was captured

    bool ok() const { return status == ST_OK; }
    // A diagnostic record was read into the status block.
    bool has_record() const { return !sqlstate.empty() && sqlstate != "?"; }
};

// The parts of a field record that the shell shows.
struct column_info {
    std::string name;
    int32_t width = 0; // display size; 0 when the library gave no record
    int32_t type_code = 0;
    bool binary = false;      // the record's binary flag: a binary column whatever its type code
    bool name_filled = false; // the name filled its field: it may have been cut
};

// One data source from OP_DATASOURCES.
struct data_source {
    std::string name;
    std::string description;
};

// Directions of OP_DATASOURCES (ODBC's values).
enum {
    DSN_NEXT = 1,
    DSN_FIRST = 2,
    DSN_FIRST_USER = 31,
    DSN_FIRST_SYSTEM = 32
};

class library {
public:
    explicit library(vizori_fn entry) : entry_(entry) {}

    outcome init();
    outcome shutdown();
    outcome new_slot();                              // the slot in outcome.slot
    outcome connect(int slot, const std::string &connect_text);
    outcome disconnect(int slot);
    // Row count in outcome.rowcount; the values, as texts, go to the
    // statement's markers in order.
    outcome query(int slot, const std::string &sql, const std::vector<std::string> &values = {});
    // Column count in outcome.result; records for at most 31 columns.
    outcome describe(int slot, std::vector<column_info> *columns);
    outcome free_statement(int slot, int16_t subcode);
    // Item text into *text; numbers in outcome.result or outcome.rowcount.
    outcome info(int slot, int item, std::string *text);
    outcome get_attribute(int slot, bool statement, int number, int64_t *value);
    // value_var is an integer variable, or a text one for text attributes.
    outcome set_attribute(int slot, bool statement, int number, host_var &value_var);
    outcome next_data_source(int slot, int direction, data_source *ds);

private:
    friend class fetch_request;
    outcome send(int opcode, host_var &status, std::vector<host_var *> operands = {});
    outcome sent(host_call &call, int opcode, host_var &status);
    std::string error_message(int slot);

    vizori_fn entry_;
};

// The OP_FETCH requests of one result. Its opcode, status block and
// parameter block are built once and sent again for each row, which keeps
// the cost per row to the request itself.
class fetch_request {
public:
    // Array form: operands is one dynamic array; variable form: one
    // variable per column. The variables may change between rows.
    fetch_request(library &lib, int slot, uint16_t flags, std::vector<host_var *> operands);
    fetch_request(const fetch_request &) = delete;
    fetch_request &operator=(const fetch_request &) = delete;

    // Fetches the next row. row_counter is +28 before and after the call:
    // it goes to 0 at the end of the result and stays put when the fetch
    // failed.
    outcome next(int32_t elements, double *row_counter);

private:
    library &lib_;
    int slot_;
    uint16_t flags_;
    host_var opcode_;
    host_var status_;
    host_call call_;
};

#endif
