#!/usr/bin/env bash
# under_wine.sh - the Windows build of the shell under Wine: it loads
# roridorezu.dll and runs statements on a SQLite data source through it,
# from a file and typed at the console, where typed text reaches the
# library in the encoding in force; the console shows text whatever its
# code page, while files and pipes get the bytes unchanged.
# Usage: under_wine.sh WINDOWS_BUILD_DIR LINUX_SHELL (CTest passes both).
RORI_SHELL=$1/roridorezu-shell.exe
linux_shell=$2
screen_exe=$1/rori_console_screen.exe
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

# Under Wine the drivers' text is UTF-8. On a console set to code page 1252
# or 866, neither of which holds all of these, every character shows, the
# emoji as its surrogate pair (rori_console_screen reads the screen back).
cat >shown.sql <<'IN'
SELECT 'Crème brûlée' AS latin, 'Жёлтый' AS cyrillic, '漢字' AS cjk, '😀' AS emoji;
\encoding
IN
for page in 1252 866; do
  LANG=C.UTF-8 RORI_WINE_ODBC_DIR=$work typed screen.log bash "$wine_run" "$screen_exe" "$page" \
    "$(windows_path "$work/screen-$page.txt")" "$(windows_path "$shell_bin")" -q --encoding utf-8 \
    -f "$(windows_path "$work/shown.sql")" demo </dev/null >/dev/null
  expect "the console at code page $page shows every character" "$(cat "screen-$page.txt")" <<'OUT'
 latin        | cyrillic | cjk  | emoji
--------------+----------+------+-------
 Crème brûlée | Жёлтый   | 漢字 | 😀
(1 row)
UTF8
OUT
done

# Typed at the console, the characters reach the library in UTF-8.
: >typed8.log
console=$(LANG=C.UTF-8 typist typed8.log "1|SELECT hex('Жёлтый 漢字😀') AS h;\r" '2|\\quit\r' |
  LANG=C.UTF-8 RORI_WINE_ODBC_DIR=$work typed typed8.log bash "$wine_run" "$shell_bin" -q --csv --encoding utf-8 demo)
expect_lines "typed at the console, the text reaches the library in UTF-8" "$console" <<'OUT'
D096D191D0BBD182D18BD0B920E6BCA2E5AD97F09F9880
OUT

# Files and pipes get the bytes unchanged: a value's line feed stays one
# byte, records end with LF, and the CSV reads back as the very value.
cat >export.sql <<'IN'
CREATE TABLE notes (body TEXT);
INSERT INTO notes VALUES ('Жёлтый' || char(10) || 'two lines');
SELECT body FROM notes;
IN
piped=$(RORI_WINE_ODBC_DIR=$work bash "$wine_run" "$shell_bin" -q --csv --encoding utf-8 \
  -o "$(windows_path "$work/notes.csv")" -f "$(windows_path "$work/export.sql")" demo | od -An -tx1)
printf 'body\n"\xd0\x96\xd1\x91\xd0\xbb\xd1\x82\xd1\x8b\xd0\xb9\ntwo lines"\n' >expected.csv
expect "a CSV file keeps the value's bytes, records end with LF" "$(cmp notes.csv expected.csv && echo same)$piped" <<<"same"
reread=$(python3 -c 'import csv,sys; r=list(csv.reader(open(sys.argv[1],newline="",encoding="utf-8"))); print(r[1][0]=="Жёлтый\ntwo lines")' notes.csv)
expect "the CSV reads back as the value" "$reread" <<<"True"
piped=$(RORI_WINE_ODBC_DIR=$work bash "$wine_run" "$shell_bin" -q --csv -c 'SELECT body FROM notes' demo | od -An -tx1)
expect "a pipe gets the same bytes" "$piped" <<<"$(od -An -tx1 expected.csv)"

# A script read with -f reaches the splitter as the same bytes as on
# Linux: CR LF line ends, a literal spanning lines, a Ctrl-Z byte inside it.
printf "CREATE TABLE crlf (v TEXT);\r\nINSERT INTO crlf VALUES ('line1\r\nline2\x1a end');\r\nSELECT hex(v) FROM crlf;\r\n" >crlf.sql
on_linux=$(run_program "$linux_shell" -q --csv -f crlf.sql second)
on_wine=$(RORI_WINE_ODBC_DIR=$work run_program bash "$wine_run" "$shell_bin" -q --csv -f "$(windows_path "$work/crlf.sql")" demo)
expect "a CR LF script stores what it stores on Linux" "$on_wine" <<<"$on_linux"

finish
