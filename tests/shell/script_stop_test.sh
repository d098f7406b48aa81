#!/usr/bin/env bash
# script_stop_test.sh - where a script stops, as psql stops it: a failed
# \connect in -f, -c or piped input, and a connection lost in the middle
# (the spare PostgreSQL and MariaDB servers killed between two statements),
# end the run at once with exit status 2.
. "$(dirname "$0")/lib.sh"
use_servers

failed_connect='error: OP_CONNECT: ST_SQLERROR (2), SQLSTATE IM002, native error -1: [unixODBC][Driver Manager]Data source name not found and no default driver specified
note: there is no data source named chinook: to connect to the database chinook, define a data source for it (in odbc.ini) and connect to that name
error: \connect failed: the rest of the input was not run'
printf '\\c chinook\nSELECT 2 AS not_run;\n' >connect.sql
without_place() { sed 's/^[^ ]*: error/error/; s/^[^ ]*: note/note/'; }
expect "a failed \\connect ends a -f script with status 2" "$(run_shell -q demo -f connect.sql | without_place)" <<OUT
$failed_connect
[exit 2]
OUT
expect "a failed \\connect ends -c with status 2" \
  "$(run_shell -q demo -c '\c chinook' -c 'SELECT 2 AS not_run' | without_place)" <<OUT
$failed_connect
[exit 2]
OUT
expect "a failed \\connect ends piped input with status 2" "$(run_shell -q demo <connect.sql | without_place)" <<OUT
$failed_connect
[exit 2]
OUT

# lost NAME DSN - the first statement runs, the server NAME is killed, and
# the statements that follow must not be tried.
lost() {
  local name=$1 dsn=$2 out=lost-$1.txt
  {
    echo "SELECT 1 AS before_kill;"
    for i in $(seq 300); do grep -q '(1 row)' "$out" 2>/dev/null && break; sleep 0.1; done
    bash "$RORI_SERVERS_SCRIPT" kill "$name" "$RORI_SERVERS_ENV"
    printf 'SELECT 2 AS after_kill;\nSELECT 3 AS not_run;\n'
  } | run_shell -q -host="$dsn" "-user=$RORI_DB_USER" "-pw=$RORI_DB_PASSWORD" >"$out"
  bash "$RORI_SERVERS_SCRIPT" up "$name" "$RORI_SERVERS_ENV" >/dev/null
  grep -v '^ \|^-\|^(' "$out" | sed 's/native error .*/native error .../'
}
expect "a lost PostgreSQL connection ends the run at once with status 2" "$(lost pg-spare pg_spare)" <<'OUT'
stdin:2: error: OP_QUERY: ST_SQLERROR (2), SQLSTATE 08S01, native error ...
stdin:2: error: the connection of slot 1 is lost: the rest of the input was not run
[exit 2]
OUT
expect "a lost MariaDB connection ends the run at once with status 2" "$(lost maria-spare maria_spare)" <<'OUT'
stdin:2: error: OP_QUERY: ST_SQLERROR (2), SQLSTATE HY000, native error ...
stdin:2: error: the connection of slot 1 is lost: the rest of the input was not run
[exit 2]
OUT

finish
