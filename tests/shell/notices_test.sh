#!/usr/bin/env bash
# notices_test.sh - what the server says reaches the user: PostgreSQL's
# notices of a statement that succeeded are written as psql writes them, a
# long error arrives whole, and with the mariadb client's \W a MariaDB
# insert that truncates a value shows its warnings.
. "$(dirname "$0")/lib.sh"
servers=${RORI_SERVERS_ENV:?RORI_SERVERS_ENV must name the env file of scripts/servers.sh}
source "$servers"
export PGPASSWORD=$RORI_DB_PASSWORD
cat >>odbcinst.ini <<INI
[PostgreSQL]
Driver=$RORI_PG_DRIVER
[MariaDB]
Driver=$RORI_MARIA_DRIVER
INI
cat >>user-odbc.ini <<INI
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

cat >notices.sql <<'IN'
DROP TABLE IF EXISTS no_such_table_here;
DO $$BEGIN RAISE NOTICE 'first %', 1; RAISE WARNING 'second; with a semicolon'; RAISE NOTICE 'third'; END$$;
SELECT 1 AS plain;
IN
# psql writes "psql:FILE:LINE: " before each notice, the shell "FILE:LINE: ".
by_psql=$(psql -X -q -h 127.0.0.1 -p "$RORI_PG_PORT" -U "$RORI_DB_USER" -f notices.sql "$RORI_DB_NAME" 2>&1 >/dev/null |
  sed 's/^psql://')
expect "notices are written as psql writes them" \
  "$(run_shell -q -host=pg "-user=$RORI_DB_USER" "-pw=$RORI_DB_PASSWORD" -f notices.sql 2>&1 >/dev/null | grep -v '^ \|^-\|^(')" <<OUT
$by_psql
OUT

long=$(printf 'x%.0s' $(seq 600))
expect "a long error arrives whole" \
  "$(run_shell -q -host=pg "-user=$RORI_DB_USER" "-pw=$RORI_DB_PASSWORD" -c "DO \$\$BEGIN RAISE EXCEPTION '${long}end'; END\$\$" |
    grep -o "x*end")" <<OUT
${long}end
OUT

cat >warnings.sql <<'IN'
SET sql_mode = '';
CREATE TEMPORARY TABLE w (code VARCHAR(3));
INSERT INTO w VALUES ('ABCDEF');
\W
INSERT INTO w VALUES ('ABCDEF');
\w
INSERT INTO w VALUES ('ABCDEF');
IN
expect "with \\W a MariaDB insert that truncates shows its warning; \\w stops it" \
  "$(run_shell -host=maria "-user=$RORI_DB_USER" "-pw=$RORI_DB_PASSWORD" -f warnings.sql | sed 1d)" <<'OUT'
0 rows affected
0 rows affected
1 row affected
Show warnings enabled.
1 row affected
Warning (Code 1265): Data truncated for column 'code' at row 1
Show warnings disabled.
1 row affected
[exit 0]
OUT

finish
