#!/usr/bin/env bash
# release_test.sh - the release as a user gets it. Runs scripts/release.sh
# on the committed tree, then again in another folder for the Windows zip,
# which must come out byte for byte the same. Unpacks the zip into a fresh
# folder and a fresh Wine prefix and runs the unpacked shell on a SQLite
# data source, the connection scrambled by the unpacked scrambler; does the
# same with the Linux tarball.
# Usage: release_test.sh SOURCE_DIR OBJDUMP (CTest passes both).
source_dir=$1
objdump=$2
RORI_SHELL=unpacked
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../shell/lib.sh"

prefix=$work/wine-prefix
cleanup() {
  [ ! -d "$prefix" ] || WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  [ -n "${RORI_KEEP_TEST_DIR:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

release() { # release BUILD DIST [TARGETS]
  RORI_RELEASE_BUILD=$1 RORI_RELEASE_DIST=$2 RORI_RELEASE_TARGETS=${3:-win32 linux-i386} \
    bash "$source_dir/scripts/release.sh" >"$1.log" 2>&1 || { cat "$1.log"; exit 1; }
}
release "$work/build-a" "$work/dist-a"
release "$work/build-b" "$work/dist-b" win32
zip_path=$(ls "$work"/dist-a/roridorezu-*-win32.zip)
tar_path=$(ls "$work"/dist-a/roridorezu-*-linux-i386.tar.gz)
version=$(basename "$zip_path" -win32.zip)
version=${version#roridorezu-}

expect "the two builds' zips are alike" "$(cmp "$zip_path" "$work/dist-b/$(basename "$zip_path")" 2>&1)" </dev/null
expect "SHA256SUMS" "$(cd "$work/dist-a" && sha256sum -c SHA256SUMS 2>&1)" <<OUT
roridorezu-$version-win32.zip: OK
roridorezu-$version-linux-i386.tar.gz: OK
OUT

# --- Windows: the zip in a fresh folder and a fresh Wine prefix ----------
mkdir "$work/win" && (cd "$work/win" && unzip -q "$zip_path")
win=$work/win/roridorezu-$version-win32
expect "the DLL's export and imports" "$(bash "$source_dir/tests/wine/check-dll.sh" "$objdump" "$win/roridorezu.dll" 2>&1)" <<'OUT'
exports: vizori; imports: kernel32.dll msvcrt.dll odbc32.dll
OUT
expect "no debug sections in the zip's programs" \
  "$(for f in "$win"/*.dll "$win"/*.exe; do "$objdump" -h "$f" | grep -o '\.debug_[a-z]*' | sed "s|^|$(basename "$f"): |"; done | sort -u)" </dev/null

export RORI_WINEPREFIX=$prefix
wine_run=$source_dir/scripts/wine-run.sh
windows_path() { printf 'Z:%s' "${1//\//\\}"; }
# The data source name itself is scrambled, so the connection succeeds only
# when the DLL decodes what the scrambler wrote.
scrambled=$(bash "$wine_run" "$win/roridorezu-scramble.exe" \
  --connect --host=demo --host-form=3 --user=ann --pw=secret --escaped 2>>wine.err | tr -d '\r') || true
cat >query.sql <<IN
\\connect $scrambled
CREATE TABLE places (id INTEGER PRIMARY KEY, city VARCHAR(20));
INSERT INTO places (city) VALUES ('Lisbon');
SELECT * FROM places;
\\version
IN
shown=$(bash "$wine_run" "$here/../shell/wine/wine-query.bat" "$(windows_path "$win/roridorezu-shell.exe")" \
  "$work/wine.db" "$(windows_path "$work/query.sql")" 2>>wine.err | tr -d '\r') || true
expect "the unpacked shell.exe, connected with a scrambled text" "$shown" <<OUT
connected slot 1: demo
connected slot 2: (scrambled) as ann
0 rows affected
1 row affected
 id | city
----+--------
  1 | Lisbon
(1 row)
roridorezu-shell with the library RORIDOREZU $version (ODBC)
OUT

# --- Linux: the tarball in a fresh folder --------------------------------
mkdir "$work/linux" && (cd "$work/linux" && tar -xzf "$tar_path")
lin=$work/linux/roridorezu-$version-linux-i386
expect "the shared library exports vizori alone, without debug sections" \
  "$(nm -D --defined-only "$lin/lib/libroridorezu.so" | awk '{print $NF}'; readelf -S "$lin/lib/libroridorezu.so" | grep -o '\.debug_[a-z]*')" <<'OUT'
vizori
OUT
shell_bin=$lin/bin/roridorezu-shell
scrambled=$("$lin/bin/roridorezu-scramble" --connect --host=demo --host-form=3 --user=ann --pw=secret --escaped)
expect "the unpacked shell, connected with a scrambled text" \
  "$(run_shell -c "\\connect $scrambled" -c 'SELECT 7 AS seven' -c '\version')" <<OUT
connected slot 1: (scrambled) as ann
 seven
-------
     7
(1 row)
roridorezu-shell with the library RORIDOREZU $version (ODBC)
[exit 0]
OUT

[ "$failed" -eq 0 ] || sed 's/^/    wine stderr: /' wine.err
finish
