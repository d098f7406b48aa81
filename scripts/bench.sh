#!/usr/bin/env bash
# bench.sh - the one command behind the figures of docs/performance.md.
# Installs what the benchmark needs beyond the build (pyodbc, the 64-bit
# SQLite driver it uses, gnuplot), builds fetch_bench for Linux and for
# Windows, runs it in full on Linux and then through roridorezu.dll under
# Wine, and draws docs/fetch-throughput.png from both runs. Then the shell's
# export is measured against a plain ODBC loop on SQLite, PostgreSQL and
# MariaDB (bench/export_bench.sh), the shell's restore of generated
# scripts against sqlite3, psql and mariadb (bench/restore_bench.sh), its
# restore of a pg_dump whose rows are COPY blocks against psql's
# (bench/copy_bench.sh), and OP_QUERY with values against raw ODBC loops on
# the same three (bench/params_bench.sh).
#
# Results: $RORI_BUILD_DIR/bench-results (default build/bench-results):
# machine.txt, linux.txt, linux.tsv, wine.txt, wine.tsv, export.txt, copy.txt. The run
# takes about 25 minutes and writes about 1.3 GB of tables into a temporary folder;
# wall-clock figures are only worth keeping from a machine that is idle.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh python3-pyodbc libsqliteodbc:amd64 libodbcinst2:amd64 gnuplot-nox sqlite3

build=${RORI_BUILD_DIR:-build}
out=$(realpath -m "$build/bench-results")
jobs=$(nproc)
cmake -S . -B "$build/windows" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
cmake --build "$build/windows" -j "$jobs" --target fetch_bench
cmake -S . -B "$build/linux" -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i386.cmake
cmake --build "$build/linux" -j "$jobs" --target fetch_bench export_loop roridorezu-shell params_bench

mkdir -p "$out"
{
  echo "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "cores: $(nproc)"
  grep -m1 'model name' /proc/cpuinfo
  grep MemTotal /proc/meminfo
  echo "kernel: $(uname -r)"
  echo "wine: $(wine --version)"
  echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
} >"$out/machine.txt"

"$build/linux/bench/fetch_bench" --tsv "$out/linux.tsv" | tee "$out/linux.txt"
echo "load average after the Linux run: $(cut -d' ' -f1-3 /proc/loadavg)" >>"$out/machine.txt"
scripts/wine-run.sh "$build/windows/fetch_bench.exe" --tsv "$out/wine.tsv" | tee "$out/wine.txt"
echo "load average after the Wine run: $(cut -d' ' -f1-3 /proc/loadavg)" >>"$out/machine.txt"

bench/export_bench.sh "$build/linux" | tee "$out/export.txt"
echo "load average after the export run: $(cut -d' ' -f1-3 /proc/loadavg)" >>"$out/machine.txt"
bench/restore_bench.sh "$build/linux" | tee "$out/restore.txt"
echo "load average after the restore run: $(cut -d' ' -f1-3 /proc/loadavg)" >>"$out/machine.txt"

bench/copy_bench.sh "$build/linux" | tee "$out/copy.txt"
echo "load average after the COPY restore run: $(cut -d' ' -f1-3 /proc/loadavg)" >>"$out/machine.txt"

# Parameters: OP_QUERY with values against raw ODBC loops, on servers of its own.
params_env=$(mktemp -u /tmp/rori-params-bench-XXXXXX.env)
bash scripts/servers.sh start "$params_env" >/dev/null
bench/params_bench.sh "$build/linux" "$params_env" | tee "$out/params.txt"
bash scripts/servers.sh stop "$params_env" >/dev/null

gnuplot -e "linux='$out/linux.tsv'; wine='$out/wine.tsv'; output='docs/fetch-throughput.png'" bench/throughput.gp
cat "$out/machine.txt"
echo "bench: results in $out, plot in docs/fetch-throughput.png"
