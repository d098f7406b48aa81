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
