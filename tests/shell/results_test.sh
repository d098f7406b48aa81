#!/usr/bin/env bash
# results_test.sh - results through pipes: row counts, a statement over
# several lines, the table, CSV quoting,
# tab-separated escapes, one column per line, NULLs in the variable fetch
# form, long values, output to a file, -c, and the psql habits \timing, \x,
# \i and \c alone, and \bind.
. "$(dirname "$0")/lib.sh"

cat >setup.sql <<'IN'
CREATE TABLE items (id INTEGER PRIMARY KEY, name VARCHAR(12), price NUMERIC(8,2), note TEXT);
INSERT INTO items (name, price, note) VALUES
  ('pen', 1.5, 'blue; black'),
  ('ink "royal"', NULL, 'a, b'),
  ('', 12, 'first line
second line');
UPDATE items SET price = 2 WHERE id = 1;
SELECT * FROM items
  ORDER BY id;
IN

expect "row counts, a statement over several lines, the table" "$(run_shell demo <setup.sql)" <<'OUT'
connected slot 1: demo
0 rows affected
3 rows affected
1 row affected
 id | name        | price | note
----+-------------+-------+-------------
  1 | pen         |     2 | blue; black
  2 | ink "royal" |       | a, b
  3 |             |    12 | first line +
    |             |       | second line
(3 rows)
[exit 0]
OUT

expect "CSV quotes commas, quotes and line breaks" "$(run_shell -q --csv demo -c 'SELECT * FROM items ORDER BY id')" <<'OUT'
id,name,price,note
1,pen,2,blue; black
2,"ink ""royal""",,"a, b"
3,,12,"first line
second line"
[exit 0]
OUT

expect "tab-separated values escape tabs, line breaks and backslashes; NULL is \\N" \
  "$(run_shell -q --tsv --fetch=variable demo -c "SELECT name, price, note, 'a' || char(9) || 'b\\c' AS odd FROM items ORDER BY id")" <<'OUT'
name	price	note	odd
pen	2	blue; black	a\tb\\c
ink "royal"	\N	a, b	a\tb\\c
	12	first line\nsecond line	a\tb\\c
[exit 0]
OUT

expect "one column per line, lines of a value indented and marked as continued" \
  "$(run_shell -q --format=vertical demo -c 'SELECT id, note FROM items WHERE id >= 2 ORDER BY id')" <<'OUT'
-[ row 1 ]------
id   | 2
note | a, b
-[ row 2 ]------
id   | 3
note | first line+
     | second line
(2 rows)
[exit 0]
OUT

cat >forms.sql <<'IN'
\fetch variable
SELECT id, name, price FROM items ORDER BY id;
\fetch array
SELECT id, name, price FROM items ORDER BY id;
IN
expect "the variable fetch form tells NULL from an empty text" "$(run_shell -q demo <forms.sql)" <<'OUT'
 id | name        | price
----+-------------+-------
  1 | pen         |     2
  2 | ink "royal" |  NULL
  3 |             |    12
(3 rows)
 id | name        | price
----+-------------+-------
  1 | pen         |     2
  2 | ink "royal" |
  3 |             |    12
(3 rows)
[exit 0]
OUT

# The variable form's NULL is no byte a value can hold: a text of the one
# byte 0xFF is a value.
expect "a text of the byte 0xFF is no NULL in the variable form" \
  "$(run_shell -q --csv --fetch=variable demo -c "SELECT CAST(x'ff' AS TEXT) AS ff, NULL AS n, '' AS e")" \
  <<<"$(printf 'ff,n,e\n\xff,,""\n[exit 0]')"

# A value of 5000 characters, far beyond the column's display size (SQLite's
# driver gives 255 for an expression): the array form delivers it whole, and
# so does the variable form, whose variable grows to the value.
long="SELECT length(v), v FROM (SELECT replace(printf('%5000s', ''), ' ', 'x') AS v)"
whole=$("$shell_bin" -q --csv demo -c "$long" | tail -n 1)
variable=$("$shell_bin" -q --csv --fetch=variable demo -c "$long" | tail -n 1)
expect "the array form delivers a long value whole" "${#whole}" <<<"$((5 + 5000))"
expect "the variable form delivers a long value whole" "${#variable}" <<<"$((5 + 5000))"

cat >output.sql <<'IN'
\output items.csv
\format csv
SELECT id, name FROM items ORDER BY id;
\output
SELECT count(*) AS n FROM items;
IN
expect "results to a file, messages on standard output" "$(run_shell demo <output.sql)" <<'OUT'
connected slot 1: demo
results go to items.csv
format csv
results go to standard output
n
3
[exit 0]
OUT
expect "the file holds the result" "$(cat items.csv)" <<'OUT'
id,name
1,pen
2,"ink ""royal"""
3,
OUT

expect "-c and -f run in order, the last statement may lack its semicolon" \
  "$(printf 'SELECT 2 AS two;\nSELECT 3 AS three' >more.sql; run_shell -q --csv demo -c 'SELECT 1 AS one;' -f more.sql)" <<'OUT'
one
1
two
2
three
3
[exit 0]
OUT

cat >quoted.sql <<'IN'
SELECT 'a;b' AS "x;y", -- a comment; with a semicolon
  /* another; comment */ 'c' AS z;
IN
expect "semicolons in quotes and comments do not end a statement" "$(run_shell -q --csv demo <quoted.sql)" <<'OUT'
x;y,z
a;b,c
[exit 0]
OUT

cat >between.sql <<'IN'
SELECT 'one' AS a,
\format csv
  'a line
\format vertical
of text' AS b;
IN
expect "a command in the middle of a statement, but not inside its quotes" "$(run_shell -q demo <between.sql)" <<'OUT'
a,b
one,"a line
\format vertical
of text"
[exit 0]
OUT

expect "a limit in force is told by every footer" \
  "$(run_shell -q demo -c '\setattr stmt max_rows 2' -c 'SELECT id FROM items ORDER BY id' -c '\format vertical' -c 'SELECT 1 AS a')" <<'OUT'
 id
----
  1
  2
(2 rows, limited by max_rows = 2)
-[ row 1 ]---
a | 1
(1 row, limited by max_rows = 2)
[exit 0]
OUT

printf 'SELECT 2 AS two;\n' >two.sql
cat >habits.sql <<'IN'
\timing
SELECT 1 AS one;
\timing off
\x
SELECT 1 AS a, 2 AS b;
\x off
\i two.sql
\c
IN
expect "psql habits: \\timing, \\x, \\i, and \\c alone connects the slot again" \
  "$(run_shell demo -f habits.sql | sed 's/^Time: [0-9]*\.[0-9]* ms$/Time: N ms/')" <<'OUT'
connected slot 1: demo
timing on
 one
-----
   1
(1 row)
Time: N ms
timing off
expanded display on: format vertical
-[ row 1 ]---
a | 1
b | 2
(1 row)
expanded display off: format table
 two
-----
   2
(1 row)
connected slot 1: demo
[exit 0]
OUT
expect "\\i of a directory, and \\c alone without a connection" \
  "$(run_shell -q demo -c '\i .' | head -n 1; run_shell -q -c '\c' | head -n 1)" <<'OUT'
error: cannot read .: Is a directory
error: \connect needs a connect text or a data source name
OUT

cat >bind.sql <<'IN'
CREATE TABLE bound (a TEXT, b INTEGER);
\bind 'it''s; "q"' 5
INSERT INTO bound VALUES (?, ?);
INSERT INTO bound VALUES (?, 6);
\bind x
\bind
INSERT INTO bound VALUES ('y', ?);
SELECT a, b FROM bound;
IN
expect "\\bind gives the next statement its values; alone, none" "$(run_shell -q demo -f bind.sql)" <<'OUT'
bind.sql:4: error: OP_QUERY: ST_SQLERROR (2), SQLSTATE HY000, native error -1: [SQLite]unbound parameters in query
bind.sql:7: error: OP_QUERY: ST_SQLERROR (2), SQLSTATE HY000, native error -1: [SQLite]unbound parameters in query
 a         | b
-----------+---
 it's; "q" | 5
(1 row)
[exit 1]
OUT

finish
