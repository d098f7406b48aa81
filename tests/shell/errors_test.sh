#!/usr/bin/env bash
# errors_test.sh - failures: each shows the request, the status by name, the
# SQLSTATE, the native error and the message, and the session goes on; a
# failure in -c or -f makes the exit status 1, --bail stops there at once;
# typed or piped input ends with 0; bad usage ends with 2.
. "$(dirname "$0")/lib.sh"

cat >errors.sql <<'IN'
CREATE TABLE IF NOT EXISTS t (x INTEGER);
SELECT * FROM missing_table;
INSERT INTO t VALUES (1), (2);
SELECT count(*) AS n FROM t;
IN
expect "a failed statement is reported, the script goes on, and its exit status is 1" "$(run_shell -q -f errors.sql demo)" <<'OUT'
errors.sql:2: error: OP_QUERY: ST_SQLERROR (2), SQLSTATE HY000, native error 1: [SQLite]no such table: missing_table (1)
 n
---
 2
(1 row)
[exit 1]
OUT

expect "--bail stops at the first failure, exit status 1" "$(run_shell -q --bail -f errors.sql demo)" <<'OUT'
errors.sql:2: error: OP_QUERY: ST_SQLERROR (2), SQLSTATE HY000, native error 1: [SQLite]no such table: missing_table (1)
[exit 1]
OUT

expect "standard input is named in messages, a bad statement is an error too, and piped input ends with 0" \
  "$(printf 'SELECT 1 AS one;\nSELEC 2;\n' | run_shell -q --csv demo)" <<'OUT'
one
1
stdin:2: error: OP_QUERY: ST_SQLERROR (2), SQLSTATE HY000, native error 1: [SQLite]near "SELEC": syntax error (1)
[exit 0]
OUT

expect "an unknown data source: the driver manager's SQLSTATE, and the shell ends with 1 also without --bail" \
  "$(run_shell -c 'SELECT 1;' no_such_dsn)" <<'OUT'
error: OP_CONNECT: ST_SQLERROR (2), SQLSTATE IM002, native error -1: [unixODBC][Driver Manager]Data source name not found and no default driver specified
[exit 1]
OUT

expect "a failed connect under --bail ends the shell" "$(run_shell --bail -c 'SELECT 1;' no_such_dsn)" <<'OUT'
error: OP_CONNECT: ST_SQLERROR (2), SQLSTATE IM002, native error -1: [unixODBC][Driver Manager]Data source name not found and no default driver specified
[exit 1]
OUT

expect "an unknown key is named, and the failed \\connect ends the script" \
  "$(run_shell -c '\connect -host=demo -usr=ann -pw=x' -c '\slots')" <<'OUT'
error: OP_CONNECT: ST_BADKEYWORD (13), SQLSTATE (none), native error 0: the connect text has no setting "usr"; the settings after it were not read
error: \connect failed: the rest of the input was not run
[exit 2]
OUT
expect_lines "at a terminal, no connection is made for an unknown key" \
  "$(printf '\\connect -host=demo -usr=ann -pw=x\n\\slots\n' |
    HOME=$work script -qec "$(printf '%q ' "$shell_bin")" /dev/null | tr -d '\r')" <<'OUT'
(0 rows)
OUT

expect "an unknown first key is named also when the connect fails, and is no separator's fault" \
  "$(run_shell -c '\connect -HOST=demo -user=ann')" <<'OUT'
error: OP_CONNECT: ST_SQLERROR (2), SQLSTATE IM002, native error -1: [unixODBC][Driver Manager]Data source name not found and no default driver specified
note: the connect text has no setting "HOST"; the settings after it were not read
error: \connect failed: the rest of the input was not run
[exit 2]
OUT

cat >statuses.sql <<'IN'
\free
\setattr stmt rowset_size 5
\setattr stmt 19 1
\getattr conn 2
SELECT 'still here' AS state;
IN
expect "statuses by name" "$(run_shell -q -f statuses.sql demo)" <<'OUT'
statuses.sql:1: error: OP_FREESTMT: ST_NOSTMT (14), SQLSTATE (none), native error 0: the slot has no statement
statuses.sql:2: error: OP_SETSTMTATTR: ST_BADARG (11), SQLSTATE (none), native error 0: an unrecognised sub-code or attribute number
statuses.sql:3: error: OP_SETSTMTATTR: ST_UNSUPPORTED (15), SQLSTATE (none), native error 0: the library does not support this form of the request
statuses.sql:4: error: OP_GETCONNATTR: ST_BADARG (11), SQLSTATE (none), native error 0: an unrecognised sub-code or attribute number
 state
------------
 still here
(1 row)
[exit 1]
OUT

cat >mistakes.sql <<'IN'
\bogus
\format xml
\fetch fast
\getattr conn nosuch
\getattr
\setattr conn autocommit yes
\setattr stmt fetch_bookmark_ptr 5
\info 11
\use 7
\disconnect 3
\output /no/such/folder/x.csv
\reconnect 5
\setattr stmt max_rows 4294967296
IN
expect "mistakes in commands are reported and do not end the session" "$(run_shell -q -f mistakes.sql demo)" <<'OUT'
mistakes.sql:1: error: no command \bogus (\help lists them)
mistakes.sql:2: error: no format xml (table, csv, tsv, vertical)
mistakes.sql:3: error: no fetch form fast (array, variable)
mistakes.sql:4: error: no conn attribute nosuch (\getattr conn lists them)
mistakes.sql:5: error: \getattr needs "conn" or "stmt" first
mistakes.sql:6: error: the value of autocommit must be a whole number, on or off
mistakes.sql:7: error: stmt fetch_bookmark_ptr (16) holds an address; the shell does not set it
mistakes.sql:8: error: no information item 11 (items 1 to 10, or their names: see \info)
mistakes.sql:9: error: \use: no connection on slot 7
mistakes.sql:10: error: \disconnect: no connection on slot 3
mistakes.sql:11: error: cannot write /no/such/folder/x.csv: No such file or directory
mistakes.sql:12: error: \reconnect: no connection on slot 5
mistakes.sql:13: error: the value of max_rows must lie between -2147483648 and 2147483647: the library takes attribute values as 32-bit numbers
[exit 1]
OUT

expect "--bail also stops at a command's mistake" "$(run_shell -q --bail -f mistakes.sql demo)" <<'OUT'
mistakes.sql:1: error: no command \bogus (\help lists them)
[exit 1]
OUT

expect "a file that cannot be read ends the shell with 1 also without --bail" \
  "$(run_shell -q -f no-such-file.sql -c 'SELECT 1' demo)" <<'OUT'
error: cannot read no-such-file.sql: No such file or directory
[exit 1]
OUT

expect "an error of -c names the statement by its number among those of -c and its first words" \
  "$(run_shell -q --csv demo -c 'SELECT 1 AS one; SELECT * FROM missing_table WHERE x > 1' -c 'SELECT 2 AS two;')" <<'OUT'
one
1
-c statement 2 "SELECT * FROM missing_table ...": error: OP_QUERY: ST_SQLERROR (2), SQLSTATE HY000, native error 1: [SQLite]no such table: missing_table (1)
two
2
[exit 1]
OUT

# /proc/self/mem opens, but its first page cannot be read.
expect "a folder, or a file whose reading fails, ends the shell with 1" \
  "$(run_shell -q -f "$work" demo; run_shell -q -f /proc/self/mem -c 'SELECT 1' demo)" <<OUT
error: cannot read $work: Is a directory
[exit 1]
error: cannot read /proc/self/mem: Input/output error
[exit 1]
OUT

expect "an unknown option: one line, a hint and exit status 2" "$(run_shell --no-such-option)" <<'OUT'
roridorezu-shell: unknown option --no-such-option
Try roridorezu-shell --help for the options.
[exit 2]
OUT

expect "an option without its value says what is missing" "$(run_shell -f | head -n 1)" <<'OUT'
roridorezu-shell: -f needs a file name
OUT

help=$(run_shell --help)
expect_lines "--help names the options and the commands" "$help" <<'OUT'
      --bail          stop at the first failure, with exit status 1
Exit status: 0 done; 1 a statement or command of -c or -f failed (the
[exit 0]
OUT
expect_absent "--help lists every command" "$(for c in connect reconnect disconnect use slots datasources tables schemas catalogs databases info version getattr setattr free format fetch output x timing include echo help quit; do grep -q "^  \\\\$c" <<<"$help" || echo "missing \\$c"; done)" missing

# The constraint's name holds line breaks, and SQLite's message repeats it.
printf 'CREATE TABLE c (x INTEGER CONSTRAINT "positive\n\nplease" CHECK (x > 0));\nINSERT INTO c VALUES (-1);\n' >broken.sql
expect "a driver message with line breaks is one line" "$(run_shell -q -f broken.sql demo)" <<'OUT'
broken.sql:4: error: OP_QUERY: ST_SQLERROR (2), SQLSTATE HY000, native error 19: [SQLite]CHECK constraint failed: positive please (19)
[exit 1]
OUT

finish
