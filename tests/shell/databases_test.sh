#!/usr/bin/env bash
# databases_test.sh - the shell on the PostgreSQL and MariaDB servers of
# scripts/servers.sh (RORI_SERVERS_ENV): MariaDB's binary columns, which
# its driver delivers as raw bytes, written in hex in CSV; and a lost
# connection, which \slots marks and \reconnect connects again.
. "$(dirname "$0")/lib.sh"
. "${RORI_SERVERS_ENV:?RORI_SERVERS_ENV must name the env file of scripts/servers.sh}"

cat >>odbcinst.ini <<INI
[PostgreSQL]
Driver=$RORI_PG_DRIVER
[MariaDB]
Driver=$RORI_MARIA_DRIVER
INI
cat >>odbc.ini <<INI
[pg]
Driver=PostgreSQL
Servername=127.0.0.1
Port=$RORI_PG_PORT
Database=$RORI_DB_NAME
[maria]
Driver=MariaDB
Server=127.0.0.1
Port=$RORI_MARIA_PORT
Database=$RORI_DB_NAME
INI
login="-user=$RORI_DB_USER -pw=$RORI_DB_PASSWORD"

cat >binary.sql <<'IN'
CREATE TEMPORARY TABLE b (t TINYINT, u TINYINT UNSIGNED, b1 BINARY(1), b2 BINARY(2), bit1 BIT(1), bit8 BIT(8));
INSERT INTO b VALUES (-128, 255, 'A', x'0001', b'1', b'00000101'), (5, 7, x'00', '-5', b'0', b'0');
SELECT * FROM b;
IN
# cat -v shows a raw byte that slipped through (^@ for a NUL).
for form in array variable; do
  expect "MariaDB's BIT and BINARY columns in hex, its TINYINT as numbers ($form fetch form)" \
    "$(run_shell -q --csv --fetch=$form "-host=maria $login" -f binary.sql | cat -v)" <<'OUT'
t,u,b1,b2,bit1,bit8
-128,255,\x41,\x0001,\x01,\x05
5,7,\x00,-5,\x00,\x00
[exit 0]
OUT
done

# The session's own backend is ended on the server; the driver then says
# that the connection is dead.
cat >lost.sql <<'IN'
SELECT pg_terminate_backend(pg_backend_pid());
\slots
\reconnect
\slots
SELECT 'back' AS again;
IN
expect "a lost connection is marked broken, and \\reconnect connects it again" \
  "$(run_shell -q -f lost.sql "-host=pg $login")" <<'OUT'
lost.sql:1: error: OP_QUERY: ST_SQLERROR (2), SQLSTATE 57P01, native error 35: FATAL: terminating connection due to administrator command; The connection has been lost
 slot | current | connection
------+---------+---------------------------------------------------
 1    | *       | pg as rori (broken: \reconnect connects it again)
(1 row)
 slot | current | connection
------+---------+------------
 1    | *       | pg as rori
(1 row)
 again
-------
 back
(1 row)
[exit 0]
OUT

finish
