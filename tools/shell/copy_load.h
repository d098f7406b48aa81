// copy_load.h - loads the rows of a COPY ... FROM STDIN block through the
// library, since no ODBC driver takes COPY's data: as INSERT statements of
// about a megabyte each, so that memory stays bounded whatever the size of
// the block. Each column's values go as one text array literal, which the
// server reads far faster than as many rows of VALUES, and each value is
// cast from text to its column's type, which reads it with the type's input
// function, as COPY does. A block is all or nothing:
// it runs in a transaction of its own, or in a savepoint when one is open.
// A statement that fails is tried again row by row, to name the line of
// the row that the server refuses; then the block is rolled back.
#ifndef RORI_SHELL_COPY_LOAD_H
#define RORI_SHELL_COPY_LOAD_H

#include <memory>
#include <string>
#include <vector>

#include "copy_command.h"
#include "copy_data.h"
#include "library.h"

// Why a block failed: a request (failure.opcode set) or the shell's own
// reading of the data (problem); line is the input line it concerns.
struct copy_failure {
    outcome failure;
    std::string problem;
    long line = 0;
};

class copy_load {
public:
    explicit copy_load(library &lib) : lib_(lib) {}

    // Starts a block on a slot; in_transaction says that a transaction is
    // open there, so that the block takes a savepoint. False, with *why,
    // when the table cannot be loaded (the catalog does not know it).
    bool begin(int slot, const copy_command &command, bool in_transaction, copy_failure *why);
    // One data line, its line number in the input; false when the block
    // failed and was rolled back: then it is no longer active.
    bool add_line(const std::string &line, long line_number, copy_failure *why);
    // The data ended (\. or the end of the input): the last rows are sent
    // and the block committed. False when it failed and was rolled back.
    bool finish(copy_failure *why);
    // The block is given up (Ctrl-C): it is rolled back.
    void abandon();
    bool active() const { return active_; }
    int slot() const { return slot_; }
    const std::string &table() const { return command_.table; }
    long rows() const { return rows_; }

private:
    bool read_table(copy_failure *why);
    bool run(const std::string &sql, copy_failure *why);
    bool add_row(long line_number, copy_failure *why);
    bool header_matches(long line_number, copy_failure *why);
    void add_value(size_t column, const copy_field &field);
    bool send_batch(copy_failure *why);
    void find_bad_row(copy_failure *why);
    bool roll_back(); // false, for the failure that caused it

    library &lib_;
    int slot_ = 0;
    bool active_ = false;
    bool savepoint_ = false; // the block is a savepoint of an open transaction
    copy_command command_;
    std::unique_ptr<copy_reader> reader_;
    size_t columns_ = 0;    // values in each row
    std::string prefix_;    // INSERT INTO t (columns) [OVERRIDING SYSTEM VALUE]
    std::vector<std::string> names_; // each column's name, as the catalog spells it
    std::vector<std::string> types_; // each column's type, as format_type writes it
    std::vector<std::string> arrays_; // each column's values so far, as the inside of an E'{...}' literal
    std::string statement_; // the batch's statement, built when it is sent
    std::string lines_;     // the lines of the batch's rows, each ended by a line feed
    size_t row_start_ = 0;  // where the row being read begins in lines_
    std::vector<size_t> row_starts_; // where each row of the batch begins in lines_
    std::vector<long> row_lines_;    // and the line it began on
    long rows_ = 0;         // rows sent and taken
    long row_line_ = 0;     // the line the row being read began on
};

#endif
