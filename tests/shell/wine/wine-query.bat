@echo off
rem wine-query.bat - runs roridorezu-shell.exe on a SQLite data source under
rem Wine. scripts/wine-run.sh starts it in a fresh folder that the ODBC
rem driver manager reads its files from; this writes them there, then runs
rem the shell on the data source "demo".
rem Arguments: the shell (Windows path), the database file (unix path, for
rem the unix-side driver), then up to three arguments of the shell.
echo [SQLite3]> odbcinst.ini
echo Driver=/usr/lib/i386-linux-gnu/odbc/libsqlite3odbc.so>> odbcinst.ini
echo [demo]> odbc.ini
echo Driver=SQLite3>> odbc.ini
echo Database=%2>> odbc.ini
%1 %3 %4 %5 demo
