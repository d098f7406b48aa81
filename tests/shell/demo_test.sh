#!/usr/bin/env bash
# demo_test.sh - the demo: demo/schema.sql builds the database through the
# shell without a failure, with the data it promises, and the tour
# demo/demo.sql runs to its end, showing each capability; the database is
# kept with what was added to it until --reset makes a fresh one.
. "$(dirname "$0")/lib.sh"

demo=${RORI_SOURCE_DIR:?RORI_SOURCE_DIR must name the project folder}/demo
make_database() { run_program "$RORI_SOURCE_DIR/scripts/demo-database.sh" "$shell_bin" "$work/demo.db" "$@"; }
mine="INSERT INTO customers VALUES (1000, 'mine', 'm@x', NULL, 'Here', '2024-01-01')"
is_mine="SELECT count(*) AS mine FROM customers WHERE id = 1000"

expect "the demo database is created once, kept with what was added, and made afresh on --reset" \
  "$(make_database; run_shell -q demo -c "$mine"; make_database; run_shell -q --csv demo -c "$is_mine"
     make_database --reset; run_shell -q --csv demo -c "$is_mine")" <<OUT
Created the demo database $work/demo.db from demo/schema.sql.
[exit 0]
[exit 0]
Keeping the demo database $work/demo.db as it is (--reset makes a fresh one).
[exit 0]
mine
1
[exit 0]
Created the demo database $work/demo.db from demo/schema.sql.
[exit 0]
mine
0
[exit 0]
OUT
rm demo.db

expect "the schema builds without a failure" "$(run_shell --quiet --bail -f "$demo/schema.sql" demo)" <<'OUT'
[exit 0]
OUT

cat >facts.sql <<'IN'
SELECT (SELECT count(*) FROM customers) AS customers,
       (SELECT count(*) FROM products) AS products,
       (SELECT count(*) FROM orders) AS orders,
       (SELECT count(*) FROM order_items) AS items;
SELECT (SELECT count(*) FROM customers WHERE phone IS NULL) > 0 AS some_without_phone,
       (SELECT count(*) FROM orders WHERE shipped_on IS NULL) > 0 AS some_not_shipped,
       (SELECT count(*) FROM products WHERE description IS NULL) > 0 AS some_without_description,
       (SELECT max(length(description)) FROM products) > 255 AS a_long_text,
       (SELECT count(*) FROM order_items i LEFT JOIN orders o ON o.id = i.order_id WHERE o.id IS NULL) AS orphans,
       (SELECT min(ordered_on) || ' ' || max(ordered_on) FROM orders) AS period;
IN
expect "a few hundred related rows with NULLs, dates, decimals and long texts" "$(run_shell -q --csv -f facts.sql demo)" <<'OUT'
customers,products,orders,items
60,24,300,600
some_without_phone,some_not_shipped,some_without_description,a_long_text,orphans,period
1,1,1,1,0,2023-01-01 2023-12-30
[exit 0]
OUT

tour=$(run_shell -f "$demo/demo.sql" | sed "s|^$demo/||")
expect_lines "the tour shows every capability, and its failure on purpose sets the exit status" "$tour" <<'OUT'
== Data sources the driver manager knows (OP_DATASOURCES)
 demo   | SQLite3
connected slot 1: demo
connected slot 2: demo as demo
 TABLE_CAT | TABLE_SCHEM | TABLE_NAME  | TABLE_TYPE | REMARKS
           |             | order_items | TABLE      |
(8 rows)
2,Bruno Moreau,"says ""hello"", then
results go to best-customers.csv
 item | name            | text           | number  | status
 5    | column_count    |                | 5       | ST_OK (0)
stmt max_rows (1) = 3
(3 rows, limited by max_rows = 3)
shipped_on  | NULL
demo.sql:76: error: OP_QUERY: ST_SQLERROR (2), SQLSTATE HY000, native error 1: [SQLite]no such table: shipments (1)
(the session goes on after an error)
[exit 1]
OUT
expect "the export holds every customer with an order" "$(head -n 1 best-customers.csv; wc -l <best-customers.csv)" <<'OUT'
id,name,email,phone,orders
61
OUT

finish
