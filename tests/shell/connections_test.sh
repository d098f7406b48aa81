#!/usr/bin/env bash
# connections_test.sh - connecting by data source name and by connect text,
# scrambled values in the escaped and hexadecimal notations of the
# scrambler, several connections on their own slots, switching between
# them, and running out of slots.
. "$(dirname "$0")/lib.sh"

scramble=${RORI_SCRAMBLE:?RORI_SCRAMBLE must name the built roridorezu-scramble}

cat >slots.sql <<'IN'
\slots
CREATE TABLE only_second (x INTEGER);
\use 1
SELECT * FROM only_second;
\use 2
INSERT INTO only_second VALUES (7);
\disconnect
\slots
\connect second
SELECT x FROM only_second;
IN
expect "two data sources on two slots; statements go to the current one" "$(run_shell demo second <slots.sql)" <<'OUT'
connected slot 1: demo
connected slot 2: second
 slot | current | connection
------+---------+------------
 1    |         | demo
 2    | *       | second
(2 rows)
0 rows affected
using slot 1: demo
stdin:4: error: OP_QUERY: ST_SQLERROR (2), SQLSTATE HY000, native error 1: [SQLite]no such table: only_second (1)
using slot 2: second
1 row affected
disconnected slot 2; current slot now 1: demo
 slot | current | connection
------+---------+------------
 1    | *       | demo
(1 row)
connected slot 2: second
 x
---
 7
(1 row)
[exit 0]
OUT

expect "the settings of a connect text may come as separate arguments" \
  "$(run_shell -host=demo -user=ann -c '\slots')" <<'OUT'
connected slot 1: demo as ann
 slot | current | connection
------+---------+-------------
 1    | *       | demo as ann
(1 row)
[exit 0]
OUT

expect "whole connect texts, and a key that comes again, begin the next connection" \
  "$(run_shell "-host=demo -user=ann -db=x" "-host=second -user=bob" -host=demo -port=1 -host=second -c '\slots')" <<'OUT'
note: -db has no effect: the data source's own settings decide it
connected slot 1: demo as ann
connected slot 2: second as bob
note: -port has no effect: the data source's own settings decide it
connected slot 3: demo
connected slot 4: second
 slot | current | connection
------+---------+---------------
 1    |         | demo as ann
 2    |         | second as bob
 3    |         | demo
 4    | *       | second
(4 rows)
[exit 0]
OUT

# The data source name itself is scrambled, so a connection succeeds only
# when the shell restored the scrambled bytes exactly.
escaped=$("$scramble" --connect --host=demo --host-form=3 --user=ann --pw=secret --escaped)
hex=$("$scramble" --connect --host=demo --host-form=1 --user=ann --pw=secret --pw-form=2 --hex)
both=$("$scramble" --connect --host=demo --host-form=3 --user=ann --pw=secret)
value_hex=$("$scramble" --form=2 --hex demo)
{
  echo "\\connect $escaped"
  echo "\\connect $hex"
  echo "\\connect $(grep '^escaped:' <<<"$both")"
  echo "\\connect $(grep '^hex:' <<<"$both")"
  echo "\\connect -host=$value_hex -user=bob"
  echo "\\connect -host=\\x64\\x65mo"
  echo "\\connect -host=64 65 6D 6F"
} >scrambled.sql
expect "scrambled values in both notations" "$(run_shell -f scrambled.sql)" <<'OUT'
connected slot 1: (scrambled) as ann
connected slot 2: (scrambled) as ann
connected slot 3: (scrambled) as ann
connected slot 4: (scrambled) as ann
connected slot 5: (scrambled) as bob
connected slot 6: demo
scrambled.sql:7: error: OP_CONNECT: ST_SQLERROR (2), SQLSTATE IM002, native error -1: [unixODBC][Driver Manager]Data source name not found and no default driver specified
scrambled.sql:7: error: \connect failed: the rest of the input was not run
[exit 2]
OUT
expect "a notation that cannot be read, and a NUL byte, are named" \
  "$(run_shell -c '\connect hex: 2D 68 6F 7'; run_shell -c '\connect -host=de\x00mo')" <<'OUT'
error: after "hex:" the text must be two-digit hexadecimal groups separated by spaces
error: \connect failed: the rest of the input was not run
[exit 2]
error: the connect text holds a NUL byte
error: \connect failed: the rest of the input was not run
[exit 2]
OUT

expect "a connect text with a wider separator is warned about before connecting" \
  "$({ run_shell -c '\connect -host=demo  -user=ann'; run_shell -c $'\\connect -host=demo\t-user=ann -db=x'; } |
    grep -cxF 'note: the library reads settings separated by exactly one space, so it will not read -user: put one space before each setting')" <<'OUT'
2
OUT

expect_lines "-pw VALUE with a space is the password, as the history takes it, not a request to type one" \
  "$(run_shell -q -c '\connect -host=demo -user=ann -pw secret' -c '\slots' </dev/null)" <<'OUT'
 1    | *       | demo as ann
[exit 0]
OUT

printf '[old demo]\nDriver=SQLite3\nDatabase=%s\n' "$work/demo.db" >>user-odbc.ini
expect "\\c DSN USER PASSWORD as in psql, while a listed data source name with a space stays one name" \
  "$(run_shell -c '\c demo ann secret' -c '\connect second bob' -c '\c old demo' -c '\slots')" <<'OUT'
connected slot 1: demo as ann
connected slot 2: second as bob
connected slot 3: old demo
 slot | current | connection
------+---------+---------------
 1    |         | demo as ann
 2    |         | second as bob
 3    | *       | old demo
(3 rows)
[exit 0]
OUT

cat >uncommitted.sql <<'IN'
CREATE TABLE kept (a INTEGER);
\setattr conn autocommit 0
INSERT INTO kept VALUES (1);
\disconnect
\connect demo
SELECT count(*) AS n FROM kept;
IN
expect "disconnecting with autocommit off says that the work was rolled back" "$(run_shell -q -f uncommitted.sql demo)" <<'OUT'
uncommitted.sql:4: note: slot 1 was disconnected with autocommit off: the library rolled back the work that was not committed
 n
---
 0
(1 row)
[exit 0]
OUT

printf '%s\n' '\setattr conn autocommit off' 'INSERT INTO kept VALUES (1);' '\setattr conn autocommit off' >still_open.sql
expect "autocommit set off again leaves the transaction open: its work is still rolled back, and said so" \
  "$(run_shell -q -f still_open.sql demo)" <<'OUT'
note: slot 1 was disconnected with autocommit off: the library rolled back the work that was not committed
[exit 0]
OUT

cat >transaction.sql <<'IN'
\setattr conn autocommit off
SELECT count(*) AS n FROM kept;
\disconnect
\connect demo
\setattr conn autocommit off
INSERT INTO kept VALUES (2);
\setattr conn autocommit ON
\setattr conn autocommit 0
INSERT INTO kept VALUES (3);
COMMIT;
\disconnect
\connect demo
SELECT count(*) AS n FROM kept;
IN
expect "autocommit on commits the open transaction and says so; the rollback note only when work is pending" \
  "$(run_shell -f transaction.sql demo | sed 's/ (autocommit off: .*)$//')" <<'OUT'
connected slot 1: demo
conn autocommit (102) set to 0
 n
---
 0
(1 row)
disconnected slot 1; no connection is current now
connected slot 1: demo
conn autocommit (102) set to 0
1 row affected
autocommit on: the open transaction was committed
conn autocommit (102) set to 0
1 row affected
0 rows affected
disconnected slot 1; no connection is current now
connected slot 1: demo
 n
---
 2
(1 row)
[exit 0]
OUT

# SQLite cannot open a database whose folder is gone: \reconnect fails then,
# and the slot stays listed, broken, until the folder is back.
printf '[moving]\nDriver=SQLite3\nDatabase=%s/moving/m.db\n' "$work" >>user-odbc.ini
mkdir moving && mkfifo lines && { "$shell_bin" -q <lines >moving.out 2>&1 & } && exec 3>lines
step() { printf '%s\n' "${@:2}" '\echo -' >&3; for i in $(seq 300); do [ "$(grep -cx -- - moving.out)" -ge "$1" ] && break; sleep 0.1; done; }
step 1 '\connect moving' && rm -r moving
step 2 '\reconnect' '\slots' && mkdir moving
step 3 '\reconnect' 'SELECT 1 AS back;'
exec 3>&- && wait
expect_lines "a failed \\reconnect keeps the slot, broken, for the next one" "$(cat moving.out)" <<'OUT'
 1    | *       | moving (broken: \reconnect connects it again)
    1
OUT

for i in $(seq 1 11); do echo '\connect demo'; done >eleven.sql
expect "ten slots, then ST_NOSLOT" "$(run_shell -f eleven.sql | tail -n 4)" <<'OUT'
connected slot 10: demo
eleven.sql:11: error: OP_NEWCONN: ST_NOSLOT (7), SQLSTATE (none), native error 0: all ten connection slots are taken
eleven.sql:11: error: \connect failed: the rest of the input was not run
[exit 2]
OUT

finish
