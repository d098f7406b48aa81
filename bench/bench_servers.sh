# bench_servers.sh - sourced by the benchmarks that run on the database
# servers: a work folder ($work), the servers (scripts/servers.sh, or those
# of RORI_SERVERS_ENV when it names their env file), and the data sources
# sqlite (on $work/$1), pg and maria in a private ODBC configuration.
# Everything it made goes at exit.
work=$(mktemp -d "${TMPDIR:-/tmp}/rori-bench-XXXXXX")
servers_env=${RORI_SERVERS_ENV:-$work/servers.env}
cleanup() {
  [ -n "${RORI_SERVERS_ENV:-}" ] || bash scripts/servers.sh stop "$servers_env" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
[ -n "${RORI_SERVERS_ENV:-}" ] || bash scripts/servers.sh start "$servers_env" >/dev/null
# shellcheck disable=SC1090
source "$servers_env"

cat >"$work/odbcinst.ini" <<INI
[SQLite3]
Driver=/usr/lib/i386-linux-gnu/odbc/libsqlite3odbc.so
[PostgreSQL]
Driver=$RORI_PG_DRIVER
[MariaDB]
Driver=$RORI_MARIA_DRIVER
INI
cat >"$work/odbc.ini" <<INI
[sqlite]
Driver=SQLite3
Database=$work/$1
StepAPI=1
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
export ODBCSYSINI=$work ODBCINI=$work/odbc.ini

shell_connect() {
  if [ "$1" = sqlite ]; then echo "-host=sqlite"; else echo "-host=$1 -user=$RORI_DB_USER -pw=$RORI_DB_PASSWORD"; fi
}
