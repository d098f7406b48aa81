#!/usr/bin/env bash
# wine-run.sh - runs a Windows test program of this project under Wine.
#
# The driver manager behind Wine's odbc32 is the 32-bit unixODBC on the
# unix side, which reads ODBCSYSINI and ODBCINI from the environment Wine
# starts with. So this script makes a private folder for the ODBC files,
# exports both variables (the program writes the files there through Wine's
# Z: drive), runs the program from that folder, and removes it afterwards
# (kept when RORI_KEEP_TEST_DIR is set).
#
# The Wine prefix is RORI_WINEPREFIX, by default a cached one under
# ~/.cache; it is created on first use.
#
# RORI_WINE_ODBC_DIR names a folder that holds the ODBC files already; it
# is used instead of a fresh one, and kept.
#
# Usage: wine-run.sh PROGRAM.exe [ARGUMENTS...]
# The program runs in the private folder: give paths in ARGUMENTS absolute.
# The exit status is the program's.
set -euo pipefail

program=$(realpath "$1")
shift

export WINEPREFIX=${RORI_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/roridorezu-wine}
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="

# One prefix per user, made once and marked complete (an interrupted
# creation starts over); parallel runs wait for the first.
mkdir -p "$(dirname "$WINEPREFIX")"
(
  flock 9
  if [ ! -f "$WINEPREFIX/.rori-ready" ]; then
    echo "wine-run: creating the Wine prefix $WINEPREFIX" >&2
    rm -rf "$WINEPREFIX"
    if ! wineboot -i >"$WINEPREFIX.log" 2>&1; then
      cat "$WINEPREFIX.log" >&2
      echo "wine-run: wineboot failed" >&2
      exit 1
    fi
    wineserver -w
    touch "$WINEPREFIX/.rori-ready"
  fi
) 9>"$WINEPREFIX.lock"

if [ -n "${RORI_WINE_ODBC_DIR:-}" ]; then
  dir=$RORI_WINE_ODBC_DIR
else
  dir=$(mktemp -d "${TMPDIR:-/tmp}/rori-wine-XXXXXX")
  [ -n "${RORI_KEEP_TEST_DIR:-}" ] || trap 'rm -rf "$dir"' EXIT
fi
export ODBCSYSINI=$dir
export ODBCINI=$dir/user-odbc.ini

# Start the Wine session (server and service processes) apart from the
# program: those processes linger for a while after it ends, and would
# otherwise keep the caller's output open (CTest waits for it).
wineboot </dev/null >/dev/null 2>&1

cd "$dir"
# Ctrl-C typed at the terminal reaches the program as a console event,
# which it may catch; this script waits for the program's end meanwhile.
trap : INT
wine "$program" "$@"
