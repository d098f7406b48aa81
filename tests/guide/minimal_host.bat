@echo off
rem minimal_host.bat - runs minimal_host.exe on the SQLite demo database under
rem Wine. scripts/wine-run.sh starts it in a fresh folder that the ODBC driver
rem manager reads its files from; this writes them there first.
rem Arguments: the program (Windows path), the database file (unix path, for
rem the unix-side driver), then the program's own: [--raw] LIBRARY
rem CONNECT_TEXT SQL. Its standard error joins its standard output, apart
rem from Wine's own messages.
echo [SQLite3]> odbcinst.ini
echo Driver=/usr/lib/i386-linux-gnu/odbc/libsqlite3odbc.so>> odbcinst.ini
echo [demo]> odbc.ini
echo Driver=SQLite3>> odbc.ini
echo Database=%2>> odbc.ini
%1 %3 %4 %5 %6 2>&1
