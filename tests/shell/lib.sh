# lib.sh - shared by the shell's tests (sourced): a private ODBC
# configuration in a fresh folder, with the user data source "demo" and the
# system data source "second" on SQLite files there; running the shell;
# comparing what it printed with what a test expects.
#
# The tests find the programs through RORI_SHELL (roridorezu-shell) and
# RORI_SCRAMBLE (roridorezu-scramble), which CTest sets.
set -euo pipefail

shell_bin=${RORI_SHELL:?RORI_SHELL must name the built roridorezu-shell}
sqlite_driver=/usr/lib/i386-linux-gnu/odbc/libsqlite3odbc.so

work=$(mktemp -d "${TMPDIR:-/tmp}/rori-shell-test-XXXXXX")
[ -n "${RORI_KEEP_TEST_DIR:-}" ] || trap 'rm -rf "$work"' EXIT
cd "$work"

cat >odbcinst.ini <<INI
[SQLite3]
Description=SQLite3 ODBC driver
Driver=$sqlite_driver
INI
cat >user-odbc.ini <<INI
[demo]
Description=demo database
Driver=SQLite3
Database=$work/demo.db
INI
cat >odbc.ini <<INI
[second]
Description=second database
Driver=SQLite3
Database=$work/second.db
INI
export ODBCSYSINI=$work
export ODBCINI=$work/user-odbc.ini

passed=0
failed=0

# run_program PROGRAM ARGS... - what the program wrote (standard output,
# then standard error as it came) and a last line "[exit N]" with its exit
# status.
run_program() {
  local rc=0
  "$@" 2>&1 || rc=$?
  echo "[exit $rc]"
}

# run_shell ARGS... - the same for the shell.
run_shell() { run_program "$shell_bin" "$@"; }

# typist LOG [N|TEXT KEYS]... - types keys as a person does, waiting before
# each for what the terminal logged to LOG shows: the Nth prompt (every
# prompt ends in ">"), or another text. Terminal escape sequences (Wine's
# console draws with them) are ignored.
typist() {
  local log=$1 step wanted i
  shift
  for step in "$@"; do
    wanted=${step%%|*}
    for i in $(seq 600); do
      if [[ $wanted =~ ^[0-9]+$ ]]; then
        [ "$(screen_text "$log" | grep -o '>' | wc -l)" -ge "$wanted" ] && break
      else
        screen_text "$log" | grep -qF -- "$wanted" && break
      fi
      sleep 0.1
    done
    printf '%b' "${step#*|}"
  done
}

# screen_text LOG - what LOG shows, without escape sequences and carriage
# returns.
screen_text() { sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' "$1" | tr -d '\r'; }

# typed LOG PROGRAM ARGS... - runs the program on a pseudo-terminal logged to
# LOG, the keys coming from standard input (typist), and prints what the
# terminal showed, without script's first and last line.
typed() {
  local log=$1
  shift
  script -qfec "$(printf '%q ' "$@")" "$log" >/dev/null
  screen_text "$log" | sed '1d;$d;s/ *$//'
}

record() {
  if [ "$2" = ok ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL: $1"
  fi
}

# expect NAME ACTUAL - ACTUAL must equal the text on standard input.
expect() {
  local expected
  expected=$(cat)
  if [ "$2" == "$expected" ]; then
    record "$1" ok
  else
    record "$1" failed
    diff <(printf '%s\n' "$expected") <(printf '%s\n' "$2") | sed 's/^/    /' || true
  fi
}

# expect_lines NAME ACTUAL - each line on standard input must be a line of ACTUAL.
expect_lines() {
  local missing=0 line
  while IFS= read -r line; do
    if ! grep -qxF -- "$line" <<<"$2"; then
      echo "    missing line: $line"
      missing=1
    fi
  done
  if [ $missing -eq 0 ]; then record "$1" ok; else record "$1" failed; printf '%s\n' "$2" | sed 's/^/    | /'; fi
}

# expect_absent NAME ACTUAL PATTERN - no line of ACTUAL may hold PATTERN.
expect_absent() {
  if grep -qF -- "$3" <<<"$2"; then
    record "$1" failed
    printf '%s\n' "$2" | sed 's/^/    | /'
  else
    record "$1" ok
  fi
}

finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
