-- demo.sql - a tour of roridorezu-shell on the demo database, one
-- capability after another. scripts/demo.sh runs it; to run it by hand:
--   roridorezu-shell -f demo/demo.sql
-- Every line below is either SQL (ending with ';') or a shell command.

\echo == Data sources the driver manager knows (OP_DATASOURCES)
\datasources

\echo
\echo == Connecting by data source name, then with a connect text whose password
\echo == is scrambled (as roridorezu-scramble prints it; the library decodes it)
\connect demo
\connect "-host=demo -user=demo -pw=\x03tfCw8IHDxfnGZRXXiJ9MUDglhffbzftWjJoa99vN+1aMmhr32837VoyaGvfbzftWjJoa"
\slots
\disconnect 1

\echo
\echo == The tables (SHOW TABLES, which the library turns into a catalog call)
\tables

\echo
\echo == A join shown as a table: the best customers of 2023
SELECT c.name,
       c.city,
       count(DISTINCT o.id) AS orders,
       printf('%.2f', sum(i.quantity * i.unit_price)) AS spent
FROM customers c
JOIN orders o ON o.customer_id = c.id AND o.status <> 'cancelled'
JOIN order_items i ON i.order_id = o.id
GROUP BY c.id
ORDER BY sum(i.quantity * i.unit_price) DESC
LIMIT 8;

\echo
\echo == CSV: quoting of commas, quotes and line breaks, then an export to a file
\format csv
SELECT id, name, 'says "hello", then' || char(10) || 'goes' AS greeting FROM customers WHERE id <= 3;
\output best-customers.csv
SELECT c.id, c.name, c.email, c.phone, count(o.id) AS orders
FROM customers c JOIN orders o ON o.customer_id = c.id
GROUP BY c.id ORDER BY orders DESC, c.id;
\output
\format table
\echo (best-customers.csv written)

\echo
\echo == Information items (OP_INFO); items 5, 6 and 10 describe the last
\echo == result (the export above), which stays open until the next statement
\version
\info

\echo
\echo == An attribute round trip: max_rows limits the statement's results
\getattr stmt max_rows
\setattr stmt max_rows 3
\getattr stmt max_rows
SELECT id, ordered_on, status FROM orders ORDER BY id;
\free
\getattr conn autocommit

\echo
\echo == One column per line: NULLs and a long text (variable fetch form)
\fetch variable
\format vertical
SELECT p.id, p.name, p.price, p.description, o.shipped_on
FROM products p
JOIN order_items i ON i.product_id = p.id
JOIN orders o ON o.id = i.order_id
WHERE p.id = 3 AND o.status = 'open'
LIMIT 1;
\format table
\fetch array

\echo
\echo == An error, with its status, SQLSTATE, native error and message
SELECT * FROM shipments;
\echo (the session goes on after an error)
SELECT count(*) AS open_orders FROM orders WHERE shipped_on IS NULL;
