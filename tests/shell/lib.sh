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

# server_sources PG_NAME [PG_SETTING...] - the data sources PG_NAME and
# "maria" on the servers of RORI_SERVERS_ENV (scripts/servers.sh), each
# PG_SETTING a line more for PG_NAME (UseDeclareFetch=1); sets servers,
# db_user and db_password.
server_sources() {
  local pg_name=$1
  shift
  servers=${RORI_SERVERS_ENV:?RORI_SERVERS_ENV must name the env file of scripts/servers.sh}
  server_fact() { sed -n "s/^$1=//p" "$servers"; }
  db_user=$(server_fact RORI_DB_USER)
  db_password=$(server_fact RORI_DB_PASSWORD)
  printf '[PostgreSQL]\nDriver=%s\n[MariaDB]\nDriver=%s\n' "$(server_fact RORI_PG_DRIVER)" \
    "$(server_fact RORI_MARIA_DRIVER)" >>odbcinst.ini
  cat >>user-odbc.ini <<INI
[$pg_name]
Driver=PostgreSQL
Servername=127.0.0.1
Port=$(server_fact RORI_PG_PORT)
Database=$(server_fact RORI_DB_NAME)
$(printf '%s\n' "$@")
[maria]
Driver=MariaDB
Server=127.0.0.1
Port=$(server_fact RORI_MARIA_PORT)
Database=$(server_fact RORI_DB_NAME)
INI
}

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

# typist LOG [WAIT|KEYS]... - types keys as a person does, waiting before
# each until the terminal logged to LOG shows WAIT (terminal_shows). Escape
# sequences (Wine's console draws with them) are ignored.
typist() {
  local log=$1 step i
  shift
  for step in "$@"; do
    for i in $(seq 600); do
      terminal_shows "$log" "${step%%|*}" && break
      sleep 0.1
    done
    printf '%b' "${step#*|}"
  done
}

# terminal_shows LOG WAIT - whether the terminal logged to LOG shows WAIT:
# N, the Nth prompt of the shell (prompts_shown); "@locked", a statement
# waiting for a lock (waits_for_lock); or else a text, anywhere in what it
# showed, overwritten since or not.
terminal_shows() {
  if [[ $2 =~ ^[0-9]+$ ]]; then
    [ "$(prompts_shown "$1")" -ge "$2" ]
  elif [ "$2" = @locked ]; then
    waits_for_lock "$1"
  else
    without_escapes "$1" | tr -d '\r' | grep -qF -- "$2"
  fi
}

# prompts_shown LOG - how many prompts of the shell LOG shows, the
# continuation prompt "...>" included: the lines that begin with a prompt,
# a carriage return also beginning one. Only the line start tells a prompt
# from a '>' elsewhere, such as the one in the command line of script's
# header, and the prompt's own end: "LABEL[N]>", "roridorezu>" or "...>".
prompts_shown() {
  without_escapes "$1" | sed 1d | tr '\r' '\n' | grep -cE '^[^>]*(\]|roridorezu|\.\.\.)>' || true
}

# waits_for_lock LOG - whether a program on the terminal logged to LOG
# sleeps in the SQLite driver's wait for a lock, which retries after a
# nanosleep: the statement that waits is then surely running, past the
# point where a Ctrl-C would keep it from starting. The terminal's
# programs are those of the session typed started (LOG.session).
waits_for_lock() {
  local session stat line fields
  session=$(cat "$1.session" 2>/dev/null) || return 1
  for stat in /proc/[0-9]*/stat; do
    read -r line 2>/dev/null <"$stat" || continue # gone meanwhile
    read -r -a fields <<<"${line##*) }" # state, parent, group, session...
    [ "${fields[3]}" = "$session" ] && grep -qs nanosleep "${stat%stat}wchan" && return 0
  done
  return 1
}

# screen_text LOG - the lines LOG leaves on the screen, without escape
# sequences: a carriage return goes back to the line's start, and what
# follows it is written over what was there, as over an erased progress
# line.
screen_text() {
  without_escapes "$1" | awk -F '\r' '{ line = ""; for (i = 1; i <= NF; i++) line = $i substr(line, length($i) + 1); print line }'
}

# without_escapes LOG - LOG without its terminal escape sequences.
without_escapes() { sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' "$1"; }

# typed LOG PROGRAM ARGS... - runs the program on a pseudo-terminal logged to
# LOG, the keys coming from standard input (typist), and prints what the
# terminal showed, without script's first and last line. The program's
# session, which script makes for it, is noted in LOG.session.
typed() {
  local log=$1
  shift
  script -qfec "echo \$\$ >$(printf '%q' "$log.session"); exec $(printf '%q ' "$@")" "$log" >/dev/null
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
