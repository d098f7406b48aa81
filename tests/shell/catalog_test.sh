#!/usr/bin/env bash
# catalog_test.sh - the commands about the catalog and the library: SHOW
# TABLES, data sources, information items, the library's version, reading
# and setting attributes by name and number, and freeing the statement.
. "$(dirname "$0")/lib.sh"

expect "tables of the current connection" \
  "$(run_shell -q demo -c 'CREATE TABLE alpha (a INTEGER); CREATE TABLE beta (b TEXT);' -c '\tables')" <<'OUT'
 TABLE_CAT | TABLE_SCHEM | TABLE_NAME | TABLE_TYPE | REMARKS
-----------+-------------+------------+------------+---------
           |             | alpha      | TABLE      |
           |             | beta       | TABLE      |
(2 rows)
[exit 0]
OUT

expect "SHOW TABLES typed as SQL in any case" "$(run_shell -q --csv demo -c 'show tables')" <<'OUT'
TABLE_CAT,TABLE_SCHEM,TABLE_NAME,TABLE_TYPE,REMARKS
,,alpha,TABLE,
,,beta,TABLE,
[exit 0]
OUT

# No connection is needed: the shell lends the request a fresh slot.
cat >sources.sql <<'IN'
\datasources
\datasources user
\datasources system
\datasources
IN
expect "data sources, all and by kind, listed again from the start" "$(run_shell -q --csv -f sources.sql)" <<'OUT'
name,description
demo,SQLite3
second,SQLite3
name,description
demo,SQLite3
name,description
second,SQLite3
name,description
demo,SQLite3
second,SQLite3
[exit 0]
OUT

expect "the library's name and version" "$(run_shell -q -c '\version')" <<'OUT'
roridorezu-shell with the library RORIDOREZU 1.4.109.0 (ODBC)
[exit 0]
OUT

cat >info.sql <<'IN'
\info 8
\info library_name
\info interface
\info 4
SELECT 1 AS a, 2 AS b;
\info column_count
IN
expect "information items by number and by name; item 4 is not supported; item 5 after a result" "$(run_shell -q --csv -f info.sql demo)" <<'OUT'
item,name,text,number,status
8,library_version,1.4.109.0,1401090,ST_OK (0)
item,name,text,number,status
7,library_name,RORIDOREZU,,ST_OK (0)
item,name,text,number,status
9,interface,ODBC,,ST_OK (0)
info.sql:4: error: OP_INFO: ST_UNSUPPORTED (15), SQLSTATE (none), native error 0: the library does not support this form of the request
item,name,text,number,status
4,unsupported,,,ST_UNSUPPORTED (15)
a,b
1,2
item,name,text,number,status
5,column_count,,2,ST_OK (0)
[exit 1]
OUT

all_items=$(run_shell -q --csv demo -c '\info')
expect "all ten items, the driver's among them" "$(cut -d, -f1,2 <<<"$all_items")" <<'OUT'
item,name
1,driver_name
2,dbms_version
3,driver_version
4,unsupported
5,column_count
6,row_count
7,library_name
8,library_version
9,interface
10,row_count_10
[exit 0]
OUT
expect_lines "the driver answers item 1" "$all_items" <<'OUT'
1,driver_name,sqlite3odbc.so,0,ST_OK (0)
OUT

cat >attributes.sql <<'IN'
CREATE TABLE numbers (n INTEGER);
INSERT INTO numbers VALUES (1), (2), (3), (4), (5);
\getattr stmt max_rows
\setattr stmt max_rows 2
\getattr stmt 1
SELECT n FROM numbers ORDER BY n;
\setattr stmt cursor_type 3
\setattr stmt max_rows 0
SELECT count(*) AS still_two FROM (SELECT n FROM numbers);
\free
\getattr stmt max_rows
SELECT n FROM numbers ORDER BY n DESC;
\getattr conn autocommit
\setattr conn 102 1
\getattr conn login_timeout
\getattr conn current_catalog
\setattr conn current_catalog main
IN
expect "an attribute round trip, also while the last result is open; freeing the statement resets it" "$(run_shell --csv demo <attributes.sql)" <<'OUT'
connected slot 1: demo
0 rows affected
5 rows affected
stmt max_rows (1) = 0
stmt max_rows (1) set to 2
stmt max_rows (1) = 2
n
1
2
stdin:6: note: the result stopped at max_rows = 2: it may have had more rows than were written
stmt cursor_type (6) set to 3
stmt max_rows (1) set to 0 (no limit on the rows of a result)
still_two
5
statement of slot 1 freed
stmt max_rows (1) = 0
n
5
4
3
2
1
conn autocommit (102) = 1
conn autocommit (102) set to 1
conn login_timeout (103) = 100
conn current_catalog (109) = -99 (the library hands back -99 for a text attribute)
conn current_catalog (109) set to main
[exit 0]
OUT

listing=$(run_shell -q --csv demo -c '\getattr stmt')
expect_lines "every statement attribute listed with what the library answers" "$listing" <<'OUT'
number,name,kind,value,status
1,max_rows,integer,0,ST_OK (0)
9,rowset_size,refused,,ST_BADARG (11)
19,param_operation_ptr,unsupported,,ST_UNSUPPORTED (15)
10014,metadata_id,integer,0,ST_OK (0)
OUT

finish
