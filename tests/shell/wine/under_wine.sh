#!/usr/bin/env bash
# under_wine.sh - the Windows build of the shell under Wine: it loads
# roridorezu.dll and runs statements on a SQLite data source through it,
# from a file and typed at the console, where typed text reaches the
# library in the ANSI code page.
# Usage: under_wine.sh WINDOWS_BUILD_DIR (CTest passes the folder).
RORI_SHELL=$1/roridorezu-shell.exe
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../lib.sh"

wine_run=$here/../../../scripts/wine-run.sh
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

cat >query.sql <<'IN'
CREATE TABLE places (id INTEGER PRIMARY KEY, city VARCHAR(20));
INSERT INTO places (city) VALUES ('Lisbon'), ('Porto, "north"');
SELECT * FROM places ORDER BY id;
\format csv
SELECT * FROM places ORDER BY id;
\version
IN
rc=0
shown=$(bash "$wine_run" "$here/wine-query.bat" "$(windows_path "$shell_bin")" "$work/wine.db" \
  --bail -f "$(windows_path "$work/query.sql")" 2>wine.err | tr -d '\r') || rc=$?
expect "a query under Wine through roridorezu.dll" "$shown" <<'OUT'
connected slot 1: demo
0 rows affected
2 rows affected
 id | city
----+----------------
  1 | Lisbon
  2 | Porto, "north"
(2 rows)
format csv
id,city
1,Lisbon
2,"Porto, ""north"""
roridorezu-shell with the library RORIDOREZU 1.4.109.0 (ODBC)
OUT
[ "$failed" -eq 0 ] || sed 's/^/    stderr: /' wine.err

# An 'è' typed at the console (here a UTF-8 terminal, which Wine's console
# reads as characters) is stored as 0xE8, its value in the ANSI code page
# 1252, and shown as 'è' again.
: >typed.log
# Ctrl-C at the prompt (typed once the console shows the line being read)
# discards what was typed, and the next line is read. The shell runs
# without the batch file here, whose cmd.exe would take the Ctrl-C as well;
# lib.sh wrote the ODBC files.
console=$(LANG=C.UTF-8 typist typed.log "1|CREATE TABLE words (w TEXT);\r" "2|INSERT INTO words VALUES ('Crème');\r" \
  '3|SELECT w, hex(w) AS h FROM words;\r' '4|DELETE FROM words' 'DELETE FROM words|\003' "5|SELECT count(*) || '-kept' FROM words;\r" \
  '6|\\quit\r' |
  LANG=C.UTF-8 RORI_WINE_ODBC_DIR=$work typed typed.log bash "$wine_run" "$shell_bin" -q --csv demo)
expect_lines "typed at the console, stored in the ANSI code page, shown again; Ctrl-C at the prompt" "$console" <<'OUT'
Crème,4372E86D65
1-kept
OUT

finish
