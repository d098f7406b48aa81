// pg_statements.h - what the shell must know of a PostgreSQL statement
// around running it: whether it is a COPY that moves its rows through the
// client (whose data the shell loads itself, or which it refuses, as a
// request of the library cannot serve it: the driver would wait for ever),
// and whether it changes standard_conforming_strings
// (or on MariaDB, NO_BACKSLASH_ESCAPES of sql_mode), which decides how the
// following lines are split.
#ifndef RORI_SHELL_PG_STATEMENTS_H
#define RORI_SHELL_PG_STATEMENTS_H

#include <string>

enum class client_copy { none, from_stdin, to_stdout };

client_copy client_copy_of(const std::string &sql);
// The message that refuses a COPY ... TO STDOUT, and says what to do
// instead. (The data of a COPY ... FROM STDIN is loaded: copy_load.h.)
std::string copy_to_stdout_refusal();
// True when sql sets or resets standard_conforming_strings; *on is then its
// new value.
bool sets_standard_strings(const std::string &sql, bool *on);
// MariaDB: true when sql sets the session's sql_mode to a list of modes (or
// DEFAULT); *on then says whether NO_BACKSLASH_ESCAPES is among them.
bool sets_no_backslash_escapes(const std::string &sql, bool *on);

#endif
