# pyodbc_fetch.py - the fetch benchmark's pyodbc comparison: connects to a
# data source, executes a query, iterates over every row as a program
# would, and prints the row count and the seconds that execute and
# iteration took.
# Usage: /usr/bin/python3 pyodbc_fetch.py DSN QUERY
import sys
import time

import pyodbc

connection = pyodbc.connect("DSN=" + sys.argv[1])
cursor = connection.cursor()
start = time.perf_counter()
cursor.execute(sys.argv[2])
rows = 0
for row in cursor:
    rows += 1
elapsed = time.perf_counter() - start
connection.close()
print(rows, elapsed)
