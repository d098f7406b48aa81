#!/usr/bin/env bash
# transcripts.sh - keeps the transcripts of docs/guide.md true: runs every
# command they show on a fresh copy of the demo database (demo/schema.sql)
# and compares, or rewrites, the output printed under it.
#
# A transcript is a fenced block right after a line
#   <!-- transcript: linux -->   run on Linux only (the shell's transcripts)
#   <!-- transcript: both -->    run on Linux and, with the Windows build of
#                                minimal_host and the DLL, under Wine
# Its lines that begin with "$ " are commands, run one after the other in a
# folder holding the ODBC files, the data source "demo" and a link
# ./libroridorezu.so to the library; the lines under each command are what it
# printed (standard output, then standard error). "echo $?" shows the exit
# status of the command before it.
#
# Usage: transcripts.sh --check|--update linux|wine [GUIDE]
# The programs come from RORI_SHELL, RORI_SO, RORI_MINIMAL_HOST (Linux) and
# RORI_DLL, RORI_MINIMAL_HOST_EXE (Wine), which CTest sets; by default from
# build/linux and build/windows. --update rewrites the guide in place with
# what the commands print now (run it for both targets: Linux first).
set -euo pipefail

mode=${1:?usage: transcripts.sh --check|--update linux|wine [GUIDE]}
target=${2:?usage: transcripts.sh --check|--update linux|wine [GUIDE]}
root=$(cd "$(dirname "$0")/../.." && pwd)
guide=$(realpath "${3:-$root/docs/guide.md}")
library=${RORI_SO:-$root/build/linux/libroridorezu.so}
host_bin=${RORI_MINIMAL_HOST:-$root/build/linux/examples/minimal_host}
dll=${RORI_DLL:-$root/build/windows/roridorezu.dll}
host_exe=${RORI_MINIMAL_HOST_EXE:-$root/build/windows/examples/minimal_host.exe}
export RORI_SHELL=${RORI_SHELL:-$root/build/linux/tools/shell/roridorezu-shell}

# A fresh folder $work with the ODBC files and the data source "demo" on
# $work/demo.db, shared with the shell's tests; the commands run in it.
. "$root/tests/shell/lib.sh"
ln -s "$library" libroridorezu.so

# The commands that transcripts use.
roridorezu-shell() { "$shell_bin" "$@"; }
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
minimal_host() {
  if [ "$target" = wine ]; then
    local options=()
    [ "$1" != --raw ] || { options=("$1"); shift; }
    local lib=${1/libroridorezu.so/roridorezu.dll}
    [ "$lib" = "./roridorezu.dll" ] && lib=$(windows_path "$dll")
    bash "$root/scripts/wine-run.sh" "$root/tests/guide/minimal_host.bat" "$(windows_path "$host_exe")" \
      "$work/demo.db" "${options[@]}" "$lib" "$2" "$3" 2>>wine.err | tr -d '\r'
    return "${PIPESTATUS[0]}"
  fi
  "$host_bin" "$@"
}

# Runs the commands of one transcript (on standard input) and prints the
# transcript as it comes out now.
replay() {
  local line rc=0
  while IFS= read -r line; do
    [ "${line:0:2}" = '$ ' ] || continue
    printf '%s\n' "$line"
    ( (exit $rc); eval "${line:2}" ) 2>&1 && rc=0 || rc=$?
  done
}

"$shell_bin" --quiet --bail --file="$root/demo/schema.sql" demo >/dev/null

# Walks the guide, replaying each transcript of this target; prints the
# guide as it comes out now.
rewrite() {
  local line kind block in_block=0 want=0
  while IFS= read -r line; do
    if [ $in_block -eq 1 ]; then
      if [ "$line" = '```' ]; then
        replay <<<"$block"
        printf '%s\n' "$line"
        in_block=0
      else
        block+=$line$'\n'
      fi
      continue
    fi
    printf '%s\n' "$line"
    if [[ $line =~ ^\<!--\ transcript:\ (linux|both)\ --\>$ ]]; then
      kind=${BASH_REMATCH[1]}
      want=0
      [ "$kind" = both ] || [ "$target" = linux ] && want=1
    elif [ $want -eq 1 ] && [ "${line:0:3}" = '```' ]; then
      in_block=1
      want=0
      block=
    fi
  done <"$guide"
}

rewrite >"$work/guide.md"
case $mode in
  --check)
    if diff -u "$guide" "$work/guide.md"; then
      echo "the transcripts of $(basename "$guide") hold ($target)"
    else
      echo "the transcripts differ ($target): after checking the change, run" \
        "tests/guide/transcripts.sh --update $target" >&2
      [ ! -s wine.err ] || sed 's/^/    wine: /' wine.err >&2
      exit 1
    fi
    ;;
  --update) cp "$work/guide.md" "$guide" ;;
  *) echo "transcripts.sh: unknown mode $mode" >&2; exit 2 ;;
esac
