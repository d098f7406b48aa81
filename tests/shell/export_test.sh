#!/usr/bin/env bash
# export_test.sh - the row loop and the writers keep their buffers from row
# to row: a short or empty value after a long one, quoting and escapes that
# come and go, and the table's cut of long values, plain ASCII or not.
. "$(dirname "$0")/lib.sh"

rows="SELECT 1 AS k, 'a long value, with a comma' AS v UNION ALL SELECT 2, '' UNION ALL SELECT 3, NULL
  UNION ALL SELECT 4, 'say \"hi\"' UNION ALL SELECT 5, 'x' || char(9) || 'y\\z' UNION ALL SELECT 6, 'plain' ORDER BY k"
expect "CSV, both fetch forms, row after row" \
  "$(run_shell -q --csv demo -c "$rows" -c '\fetch variable' -c "$rows")" <<'OUT'
k,v
1,"a long value, with a comma"
2,
3,
4,"say ""hi"""
5,x	y\z
6,plain
k,v
1,"a long value, with a comma"
2,""
3,
4,"say ""hi"""
5,x	y\z
6,plain
[exit 0]
OUT
expect "TSV, row after row" "$(run_shell -q --format=tsv --fetch=variable demo -c "$rows")" <<'OUT'
k	v
1	a long value, with a comma
2	
3	\N
4	say "hi"
5	x\ty\\z
6	plain
[exit 0]
OUT

# 60 cells are shown whole, 61 are cut to 57 and "...", in ASCII as in
# other characters.
cuts="SELECT substr(printf('%070d', 0), 1, 60) AS v UNION ALL SELECT printf('%061d', 1)
  UNION ALL SELECT replace(printf('%061d', 0), '0', 'é') UNION ALL SELECT 'short'"
expect "the table cuts long values, ASCII or not" "$(run_shell -q demo -c "$cuts")" <<'OUT'
 v
--------------------------------------------------------------
 000000000000000000000000000000000000000000000000000000000000
 000000000000000000000000000000000000000000000000000000000...
 ééééééééééééééééééééééééééééééééééééééééééééééééééééééééé...
 short
(4 rows)
[exit 0]
OUT

finish
