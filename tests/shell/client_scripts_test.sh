#!/usr/bin/env bash
# client_scripts_test.sh - scripts written for each database's own client
# run through the shell as through that client: a byte-order mark, CR LF
# line ends, pg_dump's \restrict and \unrestrict, the mariadb client's
# source and \., its executable comments, and sqlite3's dot-commands.
. "$(dirname "$0")/lib.sh"
server_sources pg
pg=(-q --format=csv -host=pg "-user=$db_user" "-pw=$db_password")
maria=(-q --format=csv -host=maria "-user=$db_user" "-pw=$db_password")

# A byte-order mark and CR LF line ends, as a Windows editor saves a file:
# the DROP runs (the mark does not stick to it), and the value spanning
# two lines keeps its CR, as psql keeps it.
printf "\xef\xbb\xbfDROP TABLE IF EXISTS crlf;\r\nCREATE TABLE crlf (v text);\r\nINSERT INTO crlf VALUES ('line1\r\nline2');\r\n%s\r\n" \
  "SELECT length(v), v = E'line1\\r\\nline2' AS kept FROM crlf;" >crlf.sql
expect "PostgreSQL: a byte-order mark is skipped, a CR inside a literal kept" "$(run_shell "${pg[@]}" -f crlf.sql)" <<'OUT'
length,kept
12,1
[exit 0]
OUT

# pg_dump's \restrict: other backslash commands and a wrong key are
# refused, COPY's data lines are data; after \unrestrict commands run.
cat >restrict.sql <<'SQL'
\restrict K3y
\echo refused
\unrestrict other
CREATE TEMP TABLE r (a text);
COPY r FROM stdin;
\N
\.
\unrestrict K3y
\echo runs
\unrestrict K3y
SQL
expect "PostgreSQL: \\restrict and \\unrestrict as psql has them" "$(run_shell "${pg[@]}" -f restrict.sql)" <<'OUT'
restrict.sql:2: error: backslash commands are restricted; only \unrestrict is allowed
restrict.sql:3: error: \unrestrict: wrong key
restrict.sql:5: error: COPY ... FROM STDIN was not run: its rows would come through the client, which the library cannot send (the driver waits for ever). Use COPY ... FROM 'file' to read a file on the server, or INSERT statements; its inline data, up to the line \., was skipped
runs
restrict.sql:10: error: \unrestrict: not currently in restricted mode
[exit 1]
OUT
expect "MariaDB and SQLite have no \\restrict" "$(run_shell "${maria[@]}" -c '\restrict K3y')" <<'OUT'
error: no command \restrict (\help lists them)
[exit 1]
OUT

# The mariadb client's source and \. while nothing is pending (a "source"
# inside a statement is SQL), and executable comments: a statement of them
# alone runs the bodies the server's version allows, without their marks.
printf "SELECT 'inner' AS x;\n" >inner.sql
cat >maria.sql <<'SQL'
source inner.sql
  SOURCE inner.sql;
\. inner.sql
/*!50503 select CURRENT_TIMESTAMP IS NOT NULL as 'INFO' */;
/*!999999 SELECT 'too new' */;
/*!40101 SET @a = 1 */ /*M!100000 , @b = 2 */;
SELECT @a, @b /*!, 3 */;
SELECT 1 AS one
source inner.sql;
SQL
expect "MariaDB: source, \\. and executable comments" "$(run_shell "${maria[@]}" -f maria.sql 2>&1 | sed 's/near .*/near .../')" <<'OUT'
x
inner
x
inner
x
inner
INFO
1
@a,@b,3
1,2,3
maria.sql:9: error: OP_QUERY: ST_SQLERROR (2), SQLSTATE 42000, native error 1064: [ma-3.1.15][10.11.19-MariaDB-0+deb12u1-log]You have an error in your SQL syntax; check the manual that corresponds to your MariaDB server version for the right syntax to use near ...
[exit 1]
OUT

# sqlite3's dot-commands at the first column while nothing is pending,
# never glued to the next statement; a line ".5 AS x;" inside one is SQL.
cat >dots.sql <<'SQL'
.mode csv
SELECT 1 AS a, 2 AS b;
.mode line
SELECT 1 +
.5 AS x;
.headers off
.tables
.read inner.sql
.bail on
.quit
SELECT 'not run';
SQL
expect "SQLite: dot-commands" "$(run_shell -q -host=demo -f dots.sql)" <<'OUT'
a,b
1,2
-[ row 1 ]---
x | 1.5
(1 row)
dots.sql:6: error: .headers off is not run by the shell: it always writes the column names
dots.sql:7: error: sqlite3's .tables is not run by the shell; of sqlite3's commands it runs .mode, .headers, .read, .bail, .timer, .quit, .exit
-[ row 1 ]---
x | inner
(1 row)
[exit 1]
OUT

finish
