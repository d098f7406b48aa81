#!/usr/bin/env bash
# params_bench.sh - OP_QUERY with values against raw ODBC loops on SQLite,
# PostgreSQL and MariaDB (bench/params_bench.cpp): wall clock and largest
# resident size for ROWS rows, and callgrind's instruction counts for
# CG_ROWS rows less those of an empty run (connecting and the table).
#
#   bench/params_bench.sh BUILD_DIR SERVERS_ENV [ROWS [CG_ROWS]]
#
# SERVERS_ENV is the facts file of scripts/servers.sh, whose servers must run.
set -euo pipefail
build=$(realpath "$1")
. "$2"
rows=${3:-100000}
cg_rows=${4:-10000}
bench="$build/bench/params_bench"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf '[SQLite3]\nDriver=/usr/lib/i386-linux-gnu/odbc/libsqlite3odbc.so\n[PostgreSQL]\nDriver=%s\n[MariaDB]\nDriver=%s\n' \
  "$RORI_PG_DRIVER" "$RORI_MARIA_DRIVER" >"$dir/odbcinst.ini"
printf '[sqlite]\nDriver=SQLite3\nDatabase=%s\n[pg]\nDriver=PostgreSQL\nServername=127.0.0.1\nPort=%s\nDatabase=%s\n[maria]\nDriver=MariaDB\nServer=127.0.0.1\nPort=%s\nDatabase=%s\n' \
  "$dir/bench.db" "$RORI_PG_PORT" "$RORI_DB_NAME" "$RORI_MARIA_PORT" "$RORI_DB_NAME" >"$dir/odbc.ini"
export ODBCSYSINI=$dir ODBCINI=$dir/odbc.ini
modes="raw-single lib-single raw-array lib-array lib-pasted"

instructions() { # source mode rows
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bench" "$2" "$1" "$RORI_DB_USER" "$RORI_DB_PASSWORD" "$3" \
    2>&1 >/dev/null | sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}

echo "source	mode	rows	seconds	max resident	instructions per row ($cg_rows rows)"
for src in sqlite pg maria; do
  for m in $modes; do
    wall=$("$bench" "$m" "$src" "$RORI_DB_USER" "$RORI_DB_PASSWORD" "$rows" | cut -f3,4)
    empty=$(instructions "$src" "$m" 0)
    full=$(instructions "$src" "$m" "$cg_rows")
    echo "$src	$m	$rows	$wall	$(( (full - empty) / cg_rows ))"
  done
done
