// result_fixture.h - the fixture of the tests that read results: a slot
// connected to the demo database, statements run through OP_QUERY, and
// status blocks for OP_DESCRIBE, OP_SETFIELDS and OP_FETCH.
#ifndef RORI_TEST_RESULT_FIXTURE_H
#define RORI_TEST_RESULT_FIXTURE_H

#include <string>
#include <vector>

#include "support/lib.h"

class result_test : public library_test {
protected:
    int slot = 0;
    void SetUp() override;

    // Runs a statement that must succeed and closes its cursor.
    void exec(const std::string &sql);
    // Runs a query that must succeed and leaves its result open.
    void open(const std::string &sql);
    void close_result();
    // Creates table t with the given column definitions and rows (a VALUES
    // list) and opens "SELECT * FROM t".
    void open_table(const std::string &columns, const std::string &rows);

    // A status block for OP_FETCH: +8 = row, +2 = flags, +4 = elements
    // (word-swapped, array form).
    host_var fetch_block(double row = 0.0, int16_t flags = 0, int32_t elements = 0);
    // The same, written over an existing block.
    void refill_block(host_var &st, double row = 0.0, int16_t flags = 0, int32_t elements = 0);
    // OP_FETCH of the next row into the given variables (variable form).
    int fetch_into(std::vector<host_var *> vars);
    // The field record of column k (from 1) as the slot's field buffer holds it.
    std::string field_record(int k);
};

// A SELECT of one text column: n copies of the character c.
std::string repeated_text_query(int n, char c = 'x');

// Makes the next column read of the process allocate its scratch buffer
// anew, as the first read of a process does.
void release_scratch_buffer();

#endif
