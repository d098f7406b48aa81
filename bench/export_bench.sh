#!/usr/bin/env bash
# export_bench.sh - the shell's export speed against the plain ODBC loop
# (export_loop) that writes the same bytes through the same driver manager
# and driver. On SQLite, PostgreSQL and MariaDB a table of ROWS rows (an
# integer, a 32-character text, a numeric) is exported ROUNDS times in each
# way, the ways taking turns within a round: the loop's CSV, the shell's
# --csv, the loop's TSV, the shell's --format=tsv, the shell's table. The
# shell's CSV and TSV files must equal the loop's byte for byte.
#
# Prints per source and way the median wall-clock seconds and the median
# processor seconds of the client process (user and system; the server's
# work is not in it), each with its ratio to the loop's (the table against
# the CSV loop). It starts its own database servers (scripts/servers.sh),
# or uses those of RORI_SERVERS_ENV when that names their env file (the
# tests' servers), and removes everything it made at the end.
#
#   [RORI_SHELL=SHELL] bench/export_bench.sh [BUILD_DIR [ROWS [ROUNDS]]]   (build/linux 500000 5)
set -euo pipefail
cd "$(dirname "$0")/.."

build=$(realpath "${1:-build/linux}")
rows=${2:-500000}
rounds=${3:-5}
shell_bin=${RORI_SHELL:-$build/tools/shell/roridorezu-shell} # RORI_SHELL: another build of the shell
loop_bin=$build/bench/export_loop
for f in "$shell_bin" "$loop_bin"; do [ -x "$f" ] || { echo "export_bench: $f is not built" >&2; exit 1; }; done

# shellcheck source=bench/bench_servers.sh
source bench/bench_servers.sh export.db

sources=(sqlite pg maria)
declare -A make_table=(
  [sqlite]="DROP TABLE IF EXISTS export_rows; CREATE TABLE export_rows (n INTEGER, t VARCHAR(32), x NUMERIC(12,2));
    INSERT INTO export_rows WITH RECURSIVE g(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM g WHERE n < $rows)
    SELECT n, printf('abcdefghijklmnopqrstuvwx%08d', n), n * 0.25 FROM g"
  [pg]="DROP TABLE IF EXISTS export_rows; CREATE TABLE export_rows (n integer, t varchar(32), x numeric(12,2));
    INSERT INTO export_rows SELECT g, 'abcdefghijklmnopqrstuvwx' || lpad(g::text, 8, '0'), g * 0.25
    FROM generate_series(1, $rows) g"
  [maria]="DROP TABLE IF EXISTS export_rows; CREATE TABLE export_rows (n integer, t varchar(32), x numeric(12,2));
    INSERT INTO export_rows SELECT seq, concat('abcdefghijklmnopqrstuvwx', lpad(seq, 8, '0')), seq * 0.25
    FROM seq_1_to_$rows"
)
declare -A user_settings=([sqlite]="" [pg]="UID=$RORI_DB_USER;PWD=$RORI_DB_PASSWORD;" [maria]="UID=$RORI_DB_USER;PWD=$RORI_DB_PASSWORD;")
sql="SELECT n, t, x FROM export_rows ORDER BY n"


# seconds COMMAND... - "WALL CPU": the wall-clock and the processor seconds
# (user and system) that the command took; it must succeed.
seconds() {
  local TIMEFORMAT='%R %U %S' t
  t=$({ time "$@" >/dev/null; } 2>&1)
  read -r wall user sys <<<"$t"
  echo "$wall $(echo "$user + $sys" | bc)"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

ways=(loop-csv shell-csv loop-tsv shell-tsv shell-table)
run_way() { # SOURCE WAY OUTPUT
  local connect
  connect=$(shell_connect "$1")
  case $2 in
    loop-csv) "$loop_bin" csv "DSN=$1;${user_settings[$1]}" "$sql" "$3" ;;
    loop-tsv) "$loop_bin" tsv "DSN=$1;${user_settings[$1]}" "$sql" "$3" ;;
    # shellcheck disable=SC2086
    shell-csv) "$shell_bin" -q --csv -o "$3" -c "$sql" $connect ;;
    # shellcheck disable=SC2086
    shell-tsv) "$shell_bin" -q --format=tsv -o "$3" -c "$sql" $connect ;;
    # shellcheck disable=SC2086
    shell-table) "$shell_bin" -q -o "$3" -c "$sql" $connect ;;
  esac
}

echo "export of $rows rows (integer, 32-character text, numeric), median of $rounds rounds"
echo "date: $(date -u '+%Y-%m-%d %H:%M UTC'), load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
for source in "${sources[@]}"; do
  # shellcheck disable=SC2046
  "$shell_bin" -q --bail -c "${make_table[$source]}" $(shell_connect "$source") >/dev/null
  declare -A wall=() cpu=()
  for round in $(seq "$rounds"); do
    for way in "${ways[@]}"; do
      read -r w c < <(seconds run_way "$source" "$way" "$work/$way.out")
      wall[$way]+="$w " cpu[$way]+="$c "
    done
  done
  cmp -s "$work/loop-csv.out" "$work/shell-csv.out" || { echo "export_bench: $source: the shell's CSV differs from the loop's" >&2; exit 1; }
  cmp -s "$work/loop-tsv.out" "$work/shell-tsv.out" || { echo "export_bench: $source: the shell's TSV differs from the loop's" >&2; exit 1; }
  for kind in wall cpu; do
    declare -n times=$kind
    declare -A med=()
    for way in "${ways[@]}"; do med[$way]=$(tr ' ' '\n' <<<"${times[$way]}" | grep . | median); done
    printf '%-7s %-4s loop csv %6.3f s | shell csv %6.3f s  x %.3f | loop tsv %6.3f s | shell tsv %6.3f s  x %.3f | shell table %6.3f s  x %.3f\n' \
      "$source" "$kind" "${med[loop-csv]}" "${med[shell-csv]}" "$(echo "${med[shell-csv]} / ${med[loop-csv]}" | bc -l)" \
      "${med[loop-tsv]}" "${med[shell-tsv]}" "$(echo "${med[shell-tsv]} / ${med[loop-tsv]}" | bc -l)" \
      "${med[shell-table]}" "$(echo "${med[shell-table]} / ${med[loop-csv]}" | bc -l)"
    unset -n times
  done
  rm -f "$work"/*.out
done
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
