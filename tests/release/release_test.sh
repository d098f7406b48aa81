#!/usr/bin/env bash
# release_test.sh - the release as a user gets it: scripts/release.sh on the
# committed tree, then the Windows zip again in another folder, which must
# come out byte for byte the same. The zip unpacked into a fresh folder and
# a fresh Wine prefix, and the tarball unpacked on Linux, each run their
# shell on SQLite, connected with a data source name that their scrambler
# scrambled (so the library must decode it exactly), and stripped.
# Usage: release_test.sh SOURCE_DIR OBJDUMP (CTest passes both).
source_dir=$1 objdump=$2 RORI_SHELL=unpacked
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../shell/lib.sh"
export RORI_WINEPREFIX=$work/wine-prefix
trap 'WINEPREFIX=$RORI_WINEPREFIX wineserver -k 2>/dev/null; [ -n "${RORI_KEEP_TEST_DIR:-}" ] || rm -rf "$work"' EXIT

release() { # release NAME TARGETS
  RORI_RELEASE_BUILD=$work/build-$1 RORI_RELEASE_DIST=$work/dist-$1 RORI_RELEASE_TARGETS=$2 \
    bash "$source_dir/scripts/release.sh" >"$1.log" 2>&1 || { cat "$1.log"; exit 1; }
}
release a "win32 linux-i386"
release b win32
zip=$(cd dist-a && ls roridorezu-*-win32.zip)
version=${zip#roridorezu-} && version=${version%-win32.zip}
expect "two builds, one zip" "$(cmp "dist-a/$zip" "dist-b/$zip" 2>&1)" </dev/null
unzip -q "dist-a/$zip" -d win && tar -xzf dist-a/roridorezu-"$version"-linux-i386.tar.gz
win=$work/win/roridorezu-$version-win32 lin=$work/roridorezu-$version-linux-i386
expect "no debug sections" "$(for f in "$win"/*.dll "$win"/*.exe "$lin"/lib/* "$lin"/bin/*; do
  "$objdump" -h "$f" | grep -o '\.debug_[a-z]*' | sed "s|^|$f: |"; done | sort -u)" </dev/null
# The data source name is scrambled, so a connection succeeds only when
# the library decodes exactly what the scrambler wrote.
session() { # session SCRAMBLED_CONNECT_TEXT: the statements file
  printf '%s\n' "\\connect $1" "SELECT 7 AS n;" '\version' >query.sql
}
expected="connected slot 1: demo
connected slot 2: (scrambled) as ann
 n
---
 7
(1 row)
roridorezu-shell with the library RORIDOREZU $version (ODBC)"
scramble_args=(--connect --host=demo --host-form=3 --user=ann --pw=secret --escaped)

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
wine_run=$source_dir/scripts/wine-run.sh
session "$(bash "$wine_run" "$win/roridorezu-scramble.exe" "${scramble_args[@]}" 2>>wine.err | tr -d '\r')"
shown=$(bash "$wine_run" "$here/../shell/wine/wine-query.bat" "$(windows_path "$win/roridorezu-shell.exe")" \
  "$work/wine.db" --bail -f "$(windows_path "$work/query.sql")" 2>>wine.err | tr -d '\r') || true
expect "the zip's shell.exe under a fresh Wine prefix" "$shown" <<<"$expected"

shell_bin=$lin/bin/roridorezu-shell
session "$("$lin/bin/roridorezu-scramble" "${scramble_args[@]}")"
expect "the tarball's shell" "$(run_shell demo -f query.sql)" <<<"$expected
[exit 0]"
expect "the tarball's library exports vizori alone" "$(nm -D --defined-only "$lin/lib/libroridorezu.so" | awk '{print $NF}')" <<<vizori

[ "$failed" -eq 0 ] || sed 's/^/    wine stderr: /' wine.err
finish
