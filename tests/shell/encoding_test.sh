#!/usr/bin/env bash
# encoding_test.sh - --encoding and \encoding on Linux: on a terminal the
# drivers' text is shown, and typed text reaches them, converted between
# the encoding named and the terminal's locale; files and pipes get the
# bytes unchanged; the "C" locale converts nothing.
. "$(dirname "$0")/lib.sh"

# 0xE8 is 'è' in LATIN1; the UTF-8 terminal shows it, and an 'è' typed there
# reaches SQLite as the one byte 0xE8, in a value and in an error message.
run_shell -q -c "CREATE TABLE words (w TEXT); INSERT INTO words VALUES (CAST(X'43E8' AS TEXT));" demo >/dev/null
: >latin.log
shown=$(typist latin.log "1|SELECT w, hex('è') AS h FROM words;\\n" '2|SELECT * FROM tè;\n' '3|\\encoding\n' \
  '4|\\encoding koi8\n' '5|\\quit\n' | LC_ALL=C.UTF-8 typed latin.log "$shell_bin" -q --encoding latin1 demo)
expect_lines "a UTF-8 terminal shows LATIN1 text, and what is typed there reaches the driver in LATIN1" "$shown" <<'OUT'
 Cè | E8
error: OP_QUERY: ST_SQLERROR (2), SQLSTATE HY000, native error 1: [SQLite]no such table: tè (1)
LATIN1
error: no encoding koi8 (UTF8, LATIN1, LATIN2, LATIN9, WIN1250, WIN1251, WIN1252, WIN1253, WIN1254, WIN1255, WIN1256, WIN1257, WIN1258, WIN866, WIN874, CP437, CP850, KOI8R, KOI8U, SJIS, GBK, UHC, BIG5, EUC_JP, EUC_KR, GB18030)
OUT

# The same result in a pipe and in a file is the driver's bytes.
piped=$(LC_ALL=C.UTF-8 "$shell_bin" -q --csv --encoding latin1 -c 'SELECT w FROM words' demo | od -An -tx1)
expect "a pipe gets the bytes unchanged" "$piped" <<<" 77 0a 43 e8 0a"
: >file.log
LC_ALL=C.UTF-8 typed file.log "$shell_bin" -q --csv --encoding latin1 -o words.csv -c 'SELECT w FROM words' demo </dev/null >/dev/null
expect "a file gets the bytes unchanged, though the shell runs on a terminal" "$(od -An -tx1 words.csv)" <<<" 77 0a 43 e8 0a"

# In the "C" locale nothing is converted, as psql converts nothing there.
: >c.log
plain=$(LC_ALL=C typed c.log "$shell_bin" -q --csv --encoding latin1 -c 'SELECT w FROM words' demo </dev/null)
expect "the C locale's terminal gets the bytes unchanged" "$(printf '%s' "$plain" | od -An -tx1)" <<<" 77 0a 43 e8"

finish
