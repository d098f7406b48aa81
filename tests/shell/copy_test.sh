#!/usr/bin/env bash
# copy_test.sh - COPY ... FROM STDIN blocks loaded through the shell hold
# what psql's COPY loads from the same script: every escape of the text
# format, the DELIMITER, NULL and FORMAT options in both syntaxes, CSV with
# HEADER, QUOTE, ESCAPE and values over several lines; a pg_dump of the
# default format restores to the same rows; a bad row names its line and
# leaves nothing of its block, inside a transaction too.
. "$(dirname "$0")/lib.sh"
use_servers
export PGPASSWORD=$RORI_DB_PASSWORD PGOPTIONS='-c client_min_messages=warning'
pg=(-q -host=pg "-user=$RORI_DB_USER" "-pw=$RORI_DB_PASSWORD")
psql_run() { psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$RORI_PG_PORT" -U "$RORI_DB_USER" "$RORI_DB_NAME" "$@"; }
# A table's rows as the server's COPY writes them, in order.
rows_of() { psql_run -c "COPY (SELECT * FROM $1 ORDER BY 1) TO STDOUT"; }

# Each block appends rows with ids of its own; @T@ is the table.
tab=$'\t'
cat >blocks.sql <<IN
DROP TABLE IF EXISTS @T@;
CREATE TABLE @T@ (id int, a text, b text, c bytea);
COPY @T@ (id, a, b, c) FROM stdin;
1	tab\\there\\nline\\rcr	\\b\\f\\v\\\\	\\\\x00ff0a
2	octal \\101\\60\\1x \\0121	hex \\x41\\x4 \\x4g \\xZ	\\N
3	other \\q\\a\\ end	\\	 split	\\\\x
4	\\N	é ü 日本	\\\\001\\\\377
5			
6	a line that ends in a backslash\\
goes on	x	\\x01
\.
COPY @T@ FROM stdin WITH DELIMITER '|' NULL 'nil';
10|a${tab}tab \\| pipe|nil|nil
11|nil|\\N|\\\\x41
\.
COPY @T@ FROM stdin WITH DELIMITER ',' NULL '' CSV HEADER;
id,a,b,c
20,"quoted, comma","multi
line ""value""",
21,"",,\\x4142
22,  spaced  ,"a""b",
\.
COPY @T@ FROM stdin WITH (FORMAT csv, HEADER true, QUOTE '''', ESCAPE '\\', DELIMITER ';', NULL 'NULL');
id;a;b;c
30;'it\\'s';'back\\\\slash';NULL
31;'NULL';NULL;'\\x00'
32;half'quoted'; x ;
\.
COPY @T@ (id, b) FROM stdin (FORMAT text, DELIMITER E'\\t', HEADER);
id	b
40	header skipped
\.
IN
sed 's/@T@/copy_psql/g' blocks.sql | psql_run -f - >/dev/null
expect "the COPY blocks load without a message" "$(sed 's/@T@/copy_shell/g' blocks.sql >shell.sql;
  run_shell "${pg[@]}" -f shell.sql)" <<'OUT'
[exit 0]
OUT
expect "every escape and option reads as the server's COPY reads it" \
  "$(diff <(rows_of copy_psql) <(rows_of copy_shell) && rows_of copy_shell | wc -l)" <<'OUT'
15
OUT

# A schema as pg_dump writes it in the default format, restored by psql and
# by the shell in turn: the data that pg_dump then writes must be equal.
# (\restrict is the splitter's, tested with it.)
psql_run >/dev/null <<'IN'
DROP SCHEMA IF EXISTS copy_dump CASCADE;
CREATE SCHEMA copy_dump;
CREATE TABLE copy_dump.items (id int GENERATED ALWAYS AS IDENTITY PRIMARY KEY, name text, data bytea,
  note varchar(20), tags text[], doubled int GENERATED ALWAYS AS (id * 2) STORED);
INSERT INTO copy_dump.items (name, data, note, tags)
  SELECT E'item\t' || g || E'\nline \\ ''q''', decode(md5(g::text) || '000a0d5c', 'hex'),
    CASE WHEN g % 3 = 0 THEN NULL WHEN g % 3 = 1 THEN '' ELSE E'\\N' END, ARRAY['x' || g, NULL, 'a,"b"']
  FROM generate_series(1, 10000) g;
IN
pg_dump -h 127.0.0.1 -p "$RORI_PG_PORT" -U "$RORI_DB_USER" -n copy_dump "$RORI_DB_NAME" | grep -v '^\\\(un\)\?restrict' >dump.sql
data_of_dump() { pg_dump -h 127.0.0.1 -p "$RORI_PG_PORT" -U "$RORI_DB_USER" -n copy_dump --data-only "$RORI_DB_NAME" | grep -v restrict; }
psql_run -c 'DROP SCHEMA copy_dump CASCADE' 2>/dev/null
psql_run -f dump.sql >/dev/null
data_of_dump >by_psql.txt
psql_run -c 'DROP SCHEMA copy_dump CASCADE' 2>/dev/null
expect "a pg_dump restores through the shell" "$(run_shell "${pg[@]}" -f dump.sql | grep -v '^ \|^-\|^(\|^$')" <<'OUT'
[exit 0]
OUT
data_of_dump >by_shell.txt
expect "the restored tables equal psql's row for row, identity and bytea included" \
  "$(diff by_psql.txt by_shell.txt && grep -c . by_shell.txt)" <<OUT
$(grep -c . by_psql.txt)
OUT

# A refused row: its line, the table, and nothing of the block stays; in an
# open transaction the block is a savepoint and the work before it stays.
cat >bad.sql <<'IN'
DROP TABLE IF EXISTS copy_bad;
CREATE TABLE copy_bad (id int PRIMARY KEY, v text);
COPY copy_bad FROM stdin;
1	one
2	two
x	bad
3	three
\.
BEGIN;
INSERT INTO copy_bad VALUES (100, 'kept');
COPY copy_bad FROM stdin;
4	four
4	again
\.
COPY copy_bad FROM stdin;
5
\.
COMMIT;
SELECT id, v FROM copy_bad ORDER BY id;
COPY copy_bad TO STDOUT;
IN
expect "a bad row names its table and line; the block is rolled back, the transaction kept" \
  "$(run_shell "${pg[@]}" -f bad.sql | sed 's/; Error while executing the query$//')" <<'OUT'
bad.sql:6: error: COPY copy_bad: OP_QUERY: ST_SQLERROR (2), SQLSTATE 22P02, native error 1: ERROR: invalid input syntax for type integer: "x"
bad.sql:13: error: COPY copy_bad: OP_QUERY: ST_SQLERROR (2), SQLSTATE 23505, native error 1: ERROR: duplicate key value violates unique constraint "copy_bad_pkey" DETAIL: Key (id)=(4) already exists.
bad.sql:16: error: COPY copy_bad: missing data for column 2
 id  | v
-----+------
 100 | kept
(1 row)
bad.sql:20: error: COPY ... TO STDOUT was not run: its rows would come through the client, which the library cannot read (the driver waits for ever). Use COPY ... TO 'file' to write a file on the server, or run the SELECT with --csv
[exit 1]
OUT

# A row refused in a later statement of a long block: the rows sent before
# it are rolled back too.
{
  echo 'COPY copy_bad FROM stdin;'
  seq 1000 61000 | sed 's/$/\tpadding to make the block longer than one statement/; 50000s/^/x/'
  echo '\.'
  echo 'SELECT count(*) AS n FROM copy_bad;'
} >long.sql
expect "a row refused in a later statement of a block is named, and none of the block stays" \
  "$(run_shell "${pg[@]}" -f long.sql | sed 's/; Error while executing the query$//')" <<'OUT'
long.sql:50001: error: COPY copy_bad: OP_QUERY: ST_SQLERROR (2), SQLSTATE 22P02, native error 1: ERROR: invalid input syntax for type integer: "x50999"
 n
---
 1
(1 row)
[exit 1]
OUT

# Types whose name alone means a length of one keep their whole values; a
# domain's length is checked, not cut; a quote that never closes in the last
# statement of a script is refused.
printf 'DROP TABLE IF EXISTS copy_len;\nDROP DOMAIN IF EXISTS copy_len_d;\nCREATE DOMAIN copy_len_d AS varchar(2);
CREATE TABLE copy_len (a char(5), b char(3)[], c bit(3), d copy_len_d);
COPY copy_len FROM stdin;\nabcde\t{xyz,ab}\t101\tab\n\\.\nCOPY copy_len FROM stdin;\nx\t\\N\t\\N\tabc\n\\.
COPY copy_len FROM stdin NULL %sx' "'" >len.sql
expect "char(n), bit(n) and domain columns load whole or fail; an unclosed quote is a message, not a crash" \
  "$(run_shell "${pg[@]}" -f len.sql | sed 's/; Error while executing the query$//'; rows_of copy_len)" <<'OUT'
len.sql:9: error: COPY copy_len: OP_QUERY: ST_SQLERROR (2), SQLSTATE 22001, native error 1: ERROR: value too long for type character varying(2)
len.sql:11: error: COPY was not run: a quote in the COPY statement never closes; its data, up to the line \., was skipped
[exit 1]
abcde	{xyz,"ab "}	101	ab
OUT

# HEADER false and off keep the first row; HEADER MATCH refuses a header
# that does not name the columns in order.
printf 'DROP TABLE IF EXISTS copy_head;\nCREATE TABLE copy_head (a int, b text);
COPY copy_head FROM stdin (FORMAT csv, HEADER false);\n1,one\n\\.\nCOPY copy_head FROM stdin (HEADER off);\n2\ttwo\n\\.
COPY copy_head FROM stdin (FORMAT csv, HEADER match);\nx,b\n3,three\n\\.
COPY copy_head (b, a) FROM stdin (HEADER match);\nb\ta\ttoo\nfour\t4\n\\.
COPY copy_head (b, a) FROM stdin (HEADER match);\nb\ta\nfive\t5\n\\.\n' >head.sql
expect "HEADER false keeps the first row; a header that does not match stops its block" \
  "$(run_shell "${pg[@]}" -f head.sql; rows_of copy_head)" <<'OUT'
head.sql:10: error: COPY copy_head: column name mismatch in header line field 1: got "x", expected "a"
head.sql:14: error: COPY copy_head: wrong number of fields in header line: got 3, expected 2
[exit 1]
1	one
2	two
5	five
OUT

# A script with CR LF line ends: "\.\r" ends the data and the CR is no part
# of the last value, as psql and the server take it.
printf 'DROP TABLE IF EXISTS @T@;\r\nCREATE TABLE @T@ (a text, b text);\r\nCOPY @T@ FROM stdin;\r\nx\ty\r\n\\.\r
COPY @T@ FROM stdin CSV;\r\n"q",z\r\n\\.\r\n' >crlf.sql
sed 's/@T@/copy_crlf_psql/g' crlf.sql | psql_run -f - >/dev/null
expect "a CR LF script loads as psql loads it" \
  "$(sed 's/@T@/copy_crlf/g' crlf.sql >crlf_shell.sql; run_shell "${pg[@]}" -f crlf_shell.sql;
     diff <(rows_of copy_crlf_psql) <(rows_of copy_crlf) && rows_of copy_crlf | wc -l)" <<'OUT'
[exit 0]
2
OUT

psql_run -c 'DROP TABLE copy_psql, copy_shell, copy_bad, copy_len, copy_head, copy_crlf_psql, copy_crlf; DROP DOMAIN copy_len_d; DROP SCHEMA copy_dump CASCADE' 2>/dev/null
finish
