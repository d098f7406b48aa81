#!/usr/bin/env bash
# restore_bench.sh - how long the shell takes to run a restore script
# against the database's own client (sqlite3, psql, mariadb) on the same
# server, for the inputs that show whether reading a script is linear in
# its size:
#   lines   an INSERT of 80,000 rows, one row a line
#   2mb     an INSERT on one line of 2 MB
#   4mb     the same at 4 MB
#   dump    a 3.4 MB mariadb-dump style file, one row a line inside each
#           INSERT (MariaDB only)
#   pgdump  pg_dump's default plain format (COPY ... FROM stdin and its data)
#           of tables as large as the dump's (PostgreSQL only); a shell that
#           does not load COPY data is reported as such, not timed
# The inputs are made by this script (sizes scaled by SCALE percent, so
# that a slow shell can be measured on smaller ones); every run starts from
# a dropped table and must leave the expected number of rows.
#
# Prints per input and database the median wall-clock seconds of ROUNDS
# runs of each client and the shell's ratio to the client's. Servers as in
# export_bench.sh: its own (scripts/servers.sh), or those of
# RORI_SERVERS_ENV.
#
#   [RORI_SHELL=SHELL] bench/restore_bench.sh [BUILD_DIR [ROUNDS [SCALE]]]   (build/linux 3 100)
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath "${1:-build/linux}")
rounds=${2:-3}
scale=${3:-100}
shell_bin=${RORI_SHELL:-$build/tools/shell/roridorezu-shell}
[ -x "$shell_bin" ] || { echo "restore_bench: $shell_bin is not built" >&2; exit 1; }
for tool in sqlite3 psql mariadb pg_dump python3; do
  command -v $tool >/dev/null || { echo "restore_bench: $tool is not installed (scripts/bench.sh installs it)" >&2; exit 1; }
done

# shellcheck source=bench/bench_servers.sh
source bench/bench_servers.sh restore.db
export PGPASSWORD=$RORI_DB_PASSWORD

# --- the inputs ------------------------------------------------------------------
rows_lines=$((80000 * scale / 100))
bytes_2mb=$((2000000 * scale / 100))
bytes_4mb=$((4000000 * scale / 100))
bytes_dump=$((3400000 * scale / 100))
python3 - "$work" "$rows_lines" "$bytes_2mb" "$bytes_4mb" "$bytes_dump" <<'PY'
import sys
work, rows_lines, b2, b4, bdump = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
table = "CREATE TABLE bench_rows (id integer, name varchar(40), amount numeric(10,2));\n"

def row(n):
    return "(%d,'name %d, it''s -- here',%d.25)" % (n, n, n % 100000)

def write_counted(path, text, rows):
    with open(path, "w") as f:
        f.write(text)
    with open(path + ".rows", "w") as f:
        f.write("%d\n" % rows)

write_counted(work + "/lines.sql", "DROP TABLE IF EXISTS bench_rows;\n" + table + "INSERT INTO bench_rows VALUES\n" +
              ",\n".join(row(n) for n in range(1, rows_lines + 1)) + ";\n", rows_lines)
for name, size in (("2mb", b2), ("4mb", b4)):
    parts, total, n = [], 0, 0
    while total < size:
        n += 1
        parts.append(row(n))
        total += len(parts[-1]) + 1
    write_counted(work + "/" + name + ".sql", "DROP TABLE IF EXISTS bench_rows;\n" + table +
                  "INSERT INTO bench_rows VALUES " + ",".join(parts) + ";\n", n)

# mariadb-dump's frame around each table, and its rows one a line.
head = ("-- MariaDB dump 10.19  Distrib 10.11.6-MariaDB\n--\n-- Host: 127.0.0.1    Database: roridb\n"
        "/*!40101 SET @OLD_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT */;\n/*!40101 SET NAMES utf8mb4 */;\n"
        "/*!40014 SET @OLD_UNIQUE_CHECKS=@@UNIQUE_CHECKS, UNIQUE_CHECKS=0 */;\n"
        "/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_AUTO_VALUE_ON_ZERO' */;\n")
out, n, tables = [head], 0, 0
while sum(map(len, out)) < bdump:
    tables += 1
    t = "bench_dump_%d" % tables
    out.append("\n--\n-- Table structure for table `%s`\n--\n\nDROP TABLE IF EXISTS `%s`;\n"
               "/*!40101 SET @saved_cs_client     = @@character_set_client */;\n"
               "CREATE TABLE `%s` (\n  `id` int(11) NOT NULL,\n  `name` varchar(40) DEFAULT NULL,\n"
               "  `amount` decimal(10,2) DEFAULT NULL,\n  PRIMARY KEY (`id`)\n) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;\n"
               "/*!40101 SET character_set_client = @saved_cs_client */;\n\nLOCK TABLES `%s` WRITE;\n"
               "/*!40000 ALTER TABLE `%s` DISABLE KEYS */;\nINSERT INTO `%s` VALUES " % ((t,) * 6))
    rows = []
    for k in range(1, 4001):
        n += 1
        rows.append("(%d,'name %d, it\\'s -- here',%d.25)" % (k, k, k))
    out.append(",\n".join(rows) + ";\n/*!40000 ALTER TABLE `%s` ENABLE KEYS */;\nUNLOCK TABLES;\n" % t)
out.append("/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;\n/*!40014 SET UNIQUE_CHECKS=@OLD_UNIQUE_CHECKS */;\n"
           "/*!40101 SET CHARACTER_SET_CLIENT=@OLD_CHARACTER_SET_CLIENT */;\n-- Dump completed\n")
write_counted(work + "/dump.sql", "".join(out), n)
with open(work + "/dump.tables", "w") as f:
    f.write("%d\n" % tables)
PY

# The pg_dump case: tables of the dump's size, dumped in the default format
# from the schema bench_src and restored into the database's own schema.
pg_admin=(env PGOPTIONS="-c client_min_messages=warning" psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$RORI_PG_PORT" -U "$RORI_DB_USER" -d "$RORI_DB_NAME")
"${pg_admin[@]}" >/dev/null <<SQL
DROP SCHEMA IF EXISTS bench_src CASCADE;
CREATE SCHEMA bench_src;
CREATE TABLE bench_src.bench_copy (id integer PRIMARY KEY, name varchar(40), amount numeric(10,2), note text);
INSERT INTO bench_src.bench_copy SELECT g, 'name ' || g, g % 1000 + 0.25, CASE WHEN g % 7 = 0 THEN NULL ELSE E'tab\there\\\\ ' || g END
  FROM generate_series(1, $((40000 * scale / 100))) g;
SQL
pg_dump -h 127.0.0.1 -p "$RORI_PG_PORT" -U "$RORI_DB_USER" -n bench_src "$RORI_DB_NAME" |
  sed -e 's/bench_src\./public./g' -e '/CREATE SCHEMA bench_src/d' -e '/ALTER SCHEMA bench_src/d' \
      -e "s/set_config('search_path', '', false)/set_config('search_path', 'public', false)/" >"$work/pgdump.body"
{ echo "DROP TABLE IF EXISTS bench_copy;"; cat "$work/pgdump.body"; } >"$work/pgdump.sql"
echo $((40000 * scale / 100)) >"$work/pgdump.sql.rows"
"${pg_admin[@]}" -c "DROP SCHEMA bench_src CASCADE" >/dev/null

# --- the runs ----------------------------------------------------------------------

native() { # SOURCE FILE
  case $1 in
    sqlite) sqlite3 -bail "$work/restore.db" <"$2" ;;
    pg) psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$RORI_PG_PORT" -U "$RORI_DB_USER" -d "$RORI_DB_NAME" -f "$2" ;;
    maria) mariadb -h 127.0.0.1 -P "$RORI_MARIA_PORT" -u "$RORI_DB_USER" -p"$RORI_DB_PASSWORD" "$RORI_DB_NAME" <"$2" ;;
  esac
}

shell() { # SOURCE FILE
  # shellcheck disable=SC2046
  "$shell_bin" -q --bail -f "$2" $(shell_connect "$1")
}

# The tables an input fills: its table, or for the dump all of its tables.
tables_of() { # INPUT
  case $1 in
    dump) seq -s ' ' -f 'bench_dump_%g' "$(cat "$work/dump.tables")" ;;
    pgdump) echo bench_copy ;;
    *) echo bench_rows ;;
  esac
}

# run_sql SOURCE SQL - through the database's own client.
run_sql() {
  case $1 in
    sqlite) sqlite3 "$work/restore.db" "$2" ;;
    pg) psql -X -qtA -h 127.0.0.1 -p "$RORI_PG_PORT" -U "$RORI_DB_USER" -d "$RORI_DB_NAME" -c "$2" ;;
    maria) mariadb -N -h 127.0.0.1 -P "$RORI_MARIA_PORT" -u "$RORI_DB_USER" -p"$RORI_DB_PASSWORD" "$RORI_DB_NAME" -e "$2" ;;
  esac
}

# The rows the input left in its tables.
rows_left() { # SOURCE INPUT
  local t sum=""
  for t in $(tables_of "$2"); do sum+="${sum:+ + }(SELECT count(*) FROM $t)"; done
  run_sql "$1" "SELECT $sum"
}

# Each run starts without the input's tables, so that a run that fails
# cannot pass for one that loaded the rows.
drop_tables() { # SOURCE INPUT
  local t
  for t in $(tables_of "$2"); do run_sql "$1" "DROP TABLE IF EXISTS $t" >/dev/null 2>&1; done
}

# seconds CLIENT SOURCE INPUT - the wall-clock seconds of one restore, or
# "-" when the client left the table without the input's rows.
seconds() {
  local TIMEFORMAT='%R' t
  drop_tables "$2" "$3"
  t=$({ time "$1" "$2" "$work/$3.sql" >/dev/null 2>"$work/last.err"; } 2>&1) || true
  if [ "$(rows_left "$2" "$3" 2>/dev/null)" != "$(cat "$work/$3.sql.rows")" ]; then echo -; else echo "$t"; fi
}

median() { { grep -vx -- - || true; } | sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A client_name=([sqlite]=sqlite3 [pg]=psql [maria]=mariadb)
cases=("lines sqlite" "lines pg" "lines maria" "2mb sqlite" "2mb pg" "2mb maria" "4mb sqlite" "4mb pg" "4mb maria"
       "dump maria" "pgdump pg")
echo "restore of generated scripts at $scale% of full size ($rows_lines-line INSERT, $bytes_2mb- and $bytes_4mb-byte" \
     "one-line INSERTs, $(stat -c %s "$work/dump.sql")-byte dump, $(stat -c %s "$work/pgdump.sql")-byte pg_dump), median of $rounds rounds"
echo "date: $(date -u '+%Y-%m-%d %H:%M UTC'), load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
for c in "${cases[@]}"; do
  read -r input source <<<"$c"
  n=() s=()
  for round in $(seq "$rounds"); do
    n+=("$(seconds native "$source" "$input")")
    s+=("$(seconds shell "$source" "$input")")
  done
  mn=$(printf '%s\n' "${n[@]}" | median)
  ms=$(printf '%s\n' "${s[@]}" | median)
  if [ "$ms" = - ]; then
    printf '%-7s %-6s %-8s %7s s | shell: the rows were not loaded: %s\n' "$input" "$source" "${client_name[$source]}" \
      "$mn" "$(head -c 200 "$work/last.err" | tr '\n' ' ')"
  else
    printf '%-7s %-6s %-8s %7s s | shell %7s s  x %.2f\n' "$input" "$source" "${client_name[$source]}" "$mn" "$ms" \
      "$(echo "$ms / $mn" | bc -l)"
  fi
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
