#!/usr/bin/env bash
# pg_notices_test.sh - what PostgreSQL says reaches the user: the notices of
# a statement that succeeded are written as psql writes them, and a long
# error arrives whole.
. "$(dirname "$0")/lib.sh"
use_servers
export PGPASSWORD=$RORI_DB_PASSWORD

cat >notices.sql <<'IN'
DROP TABLE IF EXISTS no_such_table_here;
DO $$BEGIN RAISE NOTICE 'first %', 1; RAISE WARNING 'second; with a semicolon'; RAISE NOTICE 'third'; END$$;
SELECT 1 AS plain;
IN
# psql writes "psql:FILE:LINE: " before each notice, the shell "FILE:LINE: ".
by_psql=$(psql -X -q -h 127.0.0.1 -p "$RORI_PG_PORT" -U "$RORI_DB_USER" -f notices.sql "$RORI_DB_NAME" 2>&1 >/dev/null |
  sed 's/^psql://')
expect "notices are written as psql writes them" \
  "$("$shell_bin" -q -host=pg "-user=$RORI_DB_USER" "-pw=$RORI_DB_PASSWORD" -f notices.sql 2>&1 >/dev/null)" <<OUT
$by_psql
OUT

long=$(printf 'x%.0s' $(seq 600))
expect "a long error arrives whole" \
  "$(run_shell -q -host=pg "-user=$RORI_DB_USER" "-pw=$RORI_DB_PASSWORD" -c "DO \$\$BEGIN RAISE EXCEPTION '${long}end'; END\$\$" |
    grep -o "x*end")" <<OUT
${long}end
OUT

finish
