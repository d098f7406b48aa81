#!/usr/bin/env bash
# servers_test.sh - the shell on PostgreSQL and MariaDB (scripts/servers.sh):
# a result that fails part-way through a cursor says that it is incomplete,
# in the footer or on standard error, and counts as failed; autocommit set
# back on commits the open transaction; a lost connection is marked broken
# and connected again; MariaDB's binary columns, which its driver delivers
# as raw bytes, are written in hex.
. "$(dirname "$0")/lib.sh"
# A cursor: the driver fetches 100 rows at a time while the shell shows them.
server_sources pg_cursor UseDeclareFetch=1
pg=(-host=pg_cursor "-user=$db_user" "-pw=$db_password")

failing="SELECT g, 100 / (g - 120) AS q FROM generate_series(1, 200) g"
error='-c statement 1 "SELECT g, 100 / ...": error: OP_FETCH: ST_SQLERROR (2), SQLSTATE 22012, native error 1: ERROR: division by zero; Error while fetching the next result'
expect "a result that fails part-way says so in its footer, and the statement failed" \
  "$(run_shell -q "${pg[@]}" -c "$failing" | tail -n 4)" <<OUT
 100 | -5
(100 rows; the result is incomplete: ERROR: division by zero; Error while fetching the next result)
$error
[exit 1]
OUT
expect "CSV has no footer: the error alone tells" "$(run_shell -q --csv --fetch=variable "${pg[@]}" -c "$failing" | tail -n 3)" <<OUT
100,-5
$error
[exit 1]
OUT

expect "autocommit set back on commits the open transaction, and says so" \
  "$(run_shell "${pg[@]}" -c 'DROP TABLE IF EXISTS shell_kept; CREATE TABLE shell_kept (a INTEGER)' \
    -c '\setattr conn autocommit off' -c 'INSERT INTO shell_kept VALUES (1)' -c '\setattr conn autocommit on' \
    -c 'ROLLBACK' -c 'SELECT count(*) AS n FROM shell_kept' 2>&1 | sed 's/ (autocommit off: .*)$//' |
    grep -v 'NOTICE:  table "shell_kept" does not exist')" <<'OUT'
connected slot 1: pg_cursor as rori
0 rows affected
0 rows affected
conn autocommit (102) set to 0
1 row affected
autocommit on: the open transaction was committed
-c statement 4 "ROLLBACK": WARNING:  there is no transaction in progress
0 rows affected
 n
---
 1
(1 row)
[exit 0]
OUT

# The session's own backend is ended on the server; the driver then says
# that the connection is dead.
cat >lost.sql <<'IN'
SELECT pg_terminate_backend(pg_backend_pid());
\slots
\reconnect
\slots
SELECT 'back' AS again;
IN
expect "a lost connection ends a script at once, with status 2" \
  "$(run_shell -q -f lost.sql "${pg[@]}" | sed 1d)" <<'OUT'
lost.sql:1: error: the connection of slot 1 is lost: the rest of the input was not run
[exit 2]
OUT
# Typed at a terminal, the session goes on.
typed_lost=$(HOME=$work script -qec "$(printf '%q ' "$shell_bin" -q "${pg[@]}")" /dev/null <lost.sql | tr -d '\r')
expect_lines "at a terminal a lost connection is marked broken, and \\reconnect connects it again" "$typed_lost" <<'OUT'
 1    | *       | pg_cursor as rori (broken: \reconnect connects it again)
 1    | *       | pg_cursor as rori
 back
OUT

cat >binary.sql <<'IN'
CREATE TEMPORARY TABLE b (t TINYINT, u TINYINT UNSIGNED, b1 BINARY(1), b2 BINARY(2), bit1 BIT(1), bit8 BIT(8));
INSERT INTO b VALUES (-128, 255, 'A', x'0001', b'1', b'00000101'), (5, 7, x'00', '-5', b'0', b'0'),
  (42, 42, '4', '42', b'1', b'1');
SELECT * FROM b;
IN
# cat -v shows a raw byte that slipped through (^@ for a NUL).
for form in array variable; do
  expect "MariaDB's BIT and BINARY columns in hex, its TINYINT as numbers, told by the binary flag ($form fetch form)" \
    "$(run_shell -q --csv --fetch=$form -host=maria "-user=$db_user" "-pw=$db_password" -f binary.sql | cat -v)" <<'OUT'
t,u,b1,b2,bit1,bit8
-128,255,\x41,\x0001,\x01,\x05
5,7,\x00,\x2d35,\x00,\x00
42,42,\x34,\x3432,\x01,\x01
[exit 0]
OUT
done

finish
