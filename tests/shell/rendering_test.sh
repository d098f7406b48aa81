#!/usr/bin/env bash
# rendering_test.sh - how values look: binary values in one hex notation in
# every format, NULL told from an empty text, table widths in display cells
# from the values, long column names, and the table's bound on held rows.
. "$(dirname "$0")/lib.sh"

cat >setup.sql <<'IN'
CREATE TABLE v (id INTEGER, data BLOB, word VARCHAR(3));
INSERT INTO v VALUES (1, x'00ff41', ''), (2, NULL, NULL), (3, x'', 'ABCDEFGHIJ');
IN
run_shell -q demo <setup.sql >/dev/null

each_format() {
  local f
  for f in table csv tsv vertical; do run_shell -q --fetch=variable --format=$f demo -c "SELECT * FROM v ORDER BY id"; done
}
expect "binary values in one notation in every format; NULL and empty text told apart" "$(each_format)" <<'OUT'
 id | data     | word
----+----------+------------
  1 | \x00ff41 |
  2 | NULL     | NULL
  3 | \x       | ABCDEFGHIJ
(3 rows)
[exit 0]
id,data,word
1,\x00ff41,""
2,,
3,\x,ABCDEFGHIJ
[exit 0]
id	data	word
1	\\x00ff41	
2	\N	\N
3	\\x	ABCDEFGHIJ
[exit 0]
-[ row 1 ]------
id   | 1
data | \x00ff41
word |
-[ row 2 ]------
id   | 2
data | NULL
word | NULL
-[ row 3 ]------
id   | 3
data | \x
word | ABCDEFGHIJ
(3 rows)
[exit 0]
OUT

expect "the array form cannot tell NULL from an empty text: both are empty fields" \
  "$(run_shell -q --csv demo -c "SELECT id, word FROM v WHERE id <= 2 ORDER BY id")" <<'OUT'
id,word
1,
2,
[exit 0]
OUT

cat >cells.sql <<'IN'
SELECT 'ABCDEFGHIJ' AS code, 1 AS n UNION ALL SELECT '漢字', 2 UNION ALL SELECT 'e' || char(769) || 'x', 3
  UNION ALL SELECT '😀!', 4;
IN
accented=$(printf 'e\314\201x') # e, a combining acute accent, x
expect "columns as wide as their values, in display cells" "$(run_shell -q demo <cells.sql)" <<OUT
 code       | n
------------+---
 ABCDEFGHIJ | 1
 漢字       | 2
 $accented         | 3
 😀!        | 4
(4 rows)
[exit 0]
OUT

# Names of 34 bytes: the field record keeps 32, which would end inside the
# euro sign of the third; the first two become equal once cut. CSV writes
# the names as received, as psql writes two equal names.
names="SELECT 1 AS abcdefghijabcdefghijabcdefghijab_one, 2 AS abcdefghijabcdefghijabcdefghijab_two, 3 AS \"abcdefghijabcdefghijabcdefghij€x\""
expect "long column names are cut on a character; the table keeps them distinguishable, CSV as received" \
  "$(run_shell -q demo -c "$names"; run_shell -q --csv demo -c "$names")" <<'OUT'
 abcdefghijabcdefghijabcdefghijab... | abcdefghijabcdefghijabcdefghijab...[2] | abcdefghijabcdefghijabcdefghij...
-------------------------------------+----------------------------------------+-----------------------------------
                                   1 |                                      2 |                                 3
(1 row)
[exit 0]
abcdefghijabcdefghijabcdefghijab,abcdefghijabcdefghijabcdefghijab,abcdefghijabcdefghijabcdefghij
1,2,3
[exit 0]
OUT

# Every cut value ends in "...", wide characters too; a line feed in a value
# continues it on the next line after a "+", so that it cannot pass for the
# two characters \n; other control characters are shown as psql shows them.
cut="SELECT replace(hex(zeroblob(31)), '00', '日') AS wide, 'a' || char(10) || 'b\\n' AS lines,
  char(1) || char(9) || 'x' || char(13) AS controls"
expect "the table marks every cut value and shows line feeds and control characters unambiguously" \
  "$(run_shell -q demo -c "$cut")" <<'OUT'
 wide                                                        | lines | controls
-------------------------------------------------------------+-------+-------------
 日日日日日日日日日日日日日日日日日日日日日日日日日日日日... | a    +| \x01    x\r
                                                             | b\n   |
(1 row)
[exit 0]
OUT

expect "the vertical format marks a continued value, which a column without a name cannot pass for" \
  "$(run_shell -q --format=vertical demo -c "SELECT 'l1' || char(10) || 'l2' AS a" -c "SELECT 'l1' AS a, 'l2' AS \"\"")" <<'OUT'
-[ row 1 ]---
a | l1+
  | l2
(1 row)
-[ row 1 ]---
a | l1
  | l2
(1 row)
[exit 0]
OUT

many="WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10001)
  SELECT i, CASE WHEN i = 10001 THEN 'a longer value' ELSE 'short' END AS v FROM n"
expect "the table sizes its columns from the first 10000 rows and goes on with those widths" \
  "$(run_shell -q demo -c "$many" | sed -n '1,3p;10003,$p')" <<'OUT'
 i     | v
-------+-------
     1 | short
 10001 | a longer value
(10001 rows)
[exit 0]
OUT

# A driver that reports its texts with wide types (SQLite's on Windows),
# as the fault interposer makes it: texts of hex digits stay texts, binary
# columns are in hex, told by the field records' binary flag.
cat >wide.sql <<'IN'
CREATE TABLE w (tx TEXT, vc VARCHAR(10), bl BLOB, vb VARBINARY(4));
INSERT INTO w VALUES ('abcd', 'beef', x'00ff', x'4142');
IN
run_shell -q demo <wide.sql >/dev/null
wide_each_format() {
  local f
  for f in table csv tsv vertical; do
    # Under AddressSanitizer the preloaded interposer comes before its
    # runtime, which is harmless here but would stop the shell.
    ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 \
      ODBC_FAULTS_WIDE_TEXTS=1 LD_PRELOAD=${RORI_ODBC_FAULTS:?} run_shell -q --format=$f demo -c "SELECT * FROM w"
  done
}
expect "texts reported with wide types stay texts, binary columns are hex, in every format" "$(wide_each_format)" <<'OUT'
 tx   | vc   | bl     | vb
------+------+--------+--------
 abcd | beef | \x00ff | \x4142
(1 row)
[exit 0]
tx,vc,bl,vb
abcd,beef,\x00ff,\x4142
[exit 0]
tx	vc	bl	vb
abcd	beef	\\x00ff	\\x4142
[exit 0]
-[ row 1 ]----
tx | abcd
vc | beef
bl | \x00ff
vb | \x4142
(1 row)
[exit 0]
OUT

finish
