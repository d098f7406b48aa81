// results.h - running one SQL statement through the library: OP_QUERY,
// OP_DESCRIBE for the headers, OP_FETCH row by row in the array or the
// variable form. The result stays open afterwards, so that the information
// items about it answer; the caller closes it (OP_FREESTMT) before the next
// statement on the slot.
#ifndef RORI_SHELL_RESULTS_H
#define RORI_SHELL_RESULTS_H

#include <string>
#include <vector>

#include "binary.h"
#include "formats.h"
#include "library.h"
#include "progress.h"

// How rows are fetched.
// - array: every column into one element of a dynamic array; values arrive
//   whole, and NULL arrives as an empty text.
// - variable: every column into its own dynamic text variable, grown by
//   the library to the whole value; NULL is told apart.
enum class fetch_form { array, variable };

bool parse_fetch_form(const std::string &word, fetch_form *form);
const char *fetch_form_name(fetch_form form);

struct statement_run {
    bool failed = false;
    outcome failure;            // the request that failed
    std::vector<outcome> notes; // successful requests that left a diagnostic
    bool has_result = false;
    long rows = 0;        // rows fetched
    double affected = 0;  // row count of a statement without a result
    bool interrupted = false; // Ctrl-C: the rest of the result was not read
    // The writer has begun the result's rows; the caller ends them with the
    // footer, which tells the limits below and whether the result is whole.
    bool rows_begun = false;
    // Statement attributes in force on the result; 0 when not set.
    long max_rows = 0;
    long query_timeout = 0; // seconds
};

// The binary values of the result are rewritten in the shell's one hex
// notation, knowing how the slot's driver delivers them. Ctrl-C cannot stop
// a request that is running, so it is seen between requests: the result is
// read no further and its cursor is closed. A result whose rows can no
// longer be written (its output failed) is read no further either.
statement_run run_statement(library &lib, int slot, const std::string &sql, const std::vector<std::string> &values,
                            fetch_form form,
                            binary_delivery delivery, row_writer &writer, progress_line &progress);

// Runs a statement of the shell's own and reads its rows (array form, so
// NULL reads as an empty text) for a small result such as a catalog
// lookup; the outcome of the request that failed, or the query's.
outcome query_rows(library &lib, int slot, const std::string &sql, std::vector<row> *rows);

#endif
