#!/usr/bin/env bash
# copy_bench.sh - restoring a pg_dump of the default plain format, whose rows
# come as COPY ... FROM STDIN blocks, through the shell (which loads them as
# INSERTs through the library) against psql (which streams them to the
# server's COPY). The schema: a table of ROWS rows with text holding tabs,
# line feeds, backslashes and quotes, bytea, NULLs, numeric, timestamptz,
# an array, jsonb and an identity column, and a small second table.
#
# Each round drops the schema and restores the dump once with psql and once
# with the shell, in turn; the data that pg_dump writes afterwards must be
# equal. Prints the median wall-clock seconds of each and their ratio. It
# starts its own servers (scripts/servers.sh), whose PostgreSQL logs every
# statement for the tests; the benchmark's user is set to log none, so that
# the shell's INSERTs are not timed writing tens of megabytes of log that
# psql's one COPY statement does not.
#
#   bench/copy_bench.sh [BUILD_DIR [ROWS [ROUNDS]]]   (build/linux 200000 3)
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath "${1:-build/linux}")
rows=${2:-200000}
rounds=${3:-3}
shell_bin=${RORI_SHELL:-$build/tools/shell/roridorezu-shell}
[ -x "$shell_bin" ] || { echo "copy_bench: $shell_bin is not built" >&2; exit 1; }

# shellcheck source=bench/bench_servers.sh
source bench/bench_servers.sh copy.db

# The server's administrator is reached through its socket, as the server's user.
as_server_user=()
[ "$(id -u)" -ne 0 ] || as_server_user=(runuser -u postgres --)
"${as_server_user[@]}" psql -X -q -h "$RORI_SERVERS_DIR/pg" -p "$RORI_PG_PORT" -U rori_admin -d postgres \
  -c "ALTER ROLE $RORI_DB_USER SET log_statement = 'none'"

export PGPASSWORD=$RORI_DB_PASSWORD PGOPTIONS='-c client_min_messages=warning'
psql_run() { psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$RORI_PG_PORT" -U "$RORI_DB_USER" "$RORI_DB_NAME" "$@"; }
dump() { pg_dump -h 127.0.0.1 -p "$RORI_PG_PORT" -U "$RORI_DB_USER" -n copy_bench "$@" "$RORI_DB_NAME"; }

psql_run <<SQL
CREATE SCHEMA copy_bench;
CREATE TABLE copy_bench.items (id int GENERATED ALWAYS AS IDENTITY PRIMARY KEY, name text, data bytea,
  note varchar(200), price numeric(10,2), at timestamptz, tags text[], doc jsonb);
INSERT INTO copy_bench.items (name, data, note, price, at, tags, doc)
  SELECT 'name ' || g || E'\t tab\nline \\\\ back ''quote'' é', decode(md5(g::text) || '00ff5c0a0d09', 'hex'),
    CASE WHEN g % 7 = 0 THEN NULL ELSE 'note ' || g END, g * 1.25, timestamptz '2020-01-01' + g * interval '1 minute',
    ARRAY['a' || g, 'b,"c"'], jsonb_build_object('k', g, 's', E'x\ny')
  FROM generate_series(1, $rows) g;
CREATE TABLE copy_bench.plain (a int, b text);
INSERT INTO copy_bench.plain SELECT g, CASE WHEN g % 2 = 0 THEN NULL ELSE repeat('x', g % 50) END FROM generate_series(1, 1000) g;
SQL
# \restrict and \unrestrict of newer pg_dumps are the splitter's concern, not this one's.
dump | grep -v '^\\\(un\)\?restrict' >"$work/dump.sql"
dump --data-only | grep -v restrict >"$work/expected.txt"

seconds() { # seconds COMMAND... - the wall-clock seconds it took
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

psql_times=() shell_times=()
for round in $(seq "$rounds"); do
  psql_run -c 'DROP SCHEMA copy_bench CASCADE'
  psql_times+=("$(seconds psql_run -f "$work/dump.sql")")
  psql_run -c 'DROP SCHEMA copy_bench CASCADE'
  shell_times+=("$(seconds "$shell_bin" -q --bail -host=pg "-user=$RORI_DB_USER" "-pw=$RORI_DB_PASSWORD" -f "$work/dump.sql")")
  dump --data-only | grep -v restrict | cmp -s - "$work/expected.txt" ||
    { echo "copy_bench: round $round: the shell's restore differs from the dumped data" >&2; exit 1; }
done

psql_median=$(printf '%s\n' "${psql_times[@]}" | median)
shell_median=$(printf '%s\n' "${shell_times[@]}" | median)
echo "restore of a pg_dump (default format, $rows + 1000 rows, $(du -h "$work/dump.sql" | cut -f1)), median of $rounds rounds:"
printf '%-8s %8s %8s\n' "client" "seconds" "ratio"
printf '%-8s %8.2f %8s\n' "psql" "$psql_median" "1.00"
printf '%-8s %8.2f %8.2f\n' "shell" "$shell_median" "$(echo "$shell_median / $psql_median" | bc -l)"
echo "rounds: psql ${psql_times[*]}; shell ${shell_times[*]}"
