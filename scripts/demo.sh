#!/usr/bin/env bash
# demo.sh - from a fresh clone to a working SQL shell on a demo database.
#
# Installs what is missing (scripts/install-deps.sh), builds the 32-bit
# Linux shell in build/linux, writes a private ODBC configuration with the
# data source "demo" in build/linux/demo (the system's ODBC files are not
# touched), creates the SQLite demo database from demo/schema.sql through
# the shell itself (scripts/demo-database.sh), and runs the tour
# demo/demo.sql. On a terminal it then leaves you at the shell's prompt,
# connected to the demo database; without one it ends after the tour.
# Run again, it keeps the demo database with what you changed in it;
# --reset makes a fresh one.
#
# Usage: scripts/demo.sh [--reset]
set -euo pipefail

reset=
case "${1:-}" in
  "") ;;
  --reset) reset=--reset ;;
  *) echo "usage: scripts/demo.sh [--reset]" >&2; exit 2 ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/linux
demo_dir=$build/demo
driver=/usr/lib/i386-linux-gnu/odbc/libsqlite3odbc.so

step() { printf '\n### %s\n' "$*"; }

step "Installing what is missing"
"$root/scripts/install-deps.sh"

step "Building roridorezu-shell in build/linux"
cmake --no-warn-unused-cli -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/linux-i386.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)" --target roridorezu-shell >/dev/null
shell=$build/tools/shell/roridorezu-shell

step "Writing a private ODBC configuration in build/linux/demo"
mkdir -p "$demo_dir"
cat >"$demo_dir/odbcinst.ini" <<EOF
[SQLite3]
Description=SQLite3 ODBC driver
Driver=$driver
EOF
cat >"$demo_dir/odbc.ini" <<EOF
[demo]
Description=roridorezu demo shop (SQLite)
Driver=SQLite3
Database=$demo_dir/demo.db
EOF
export ODBCSYSINI=$demo_dir
export ODBCINI=$demo_dir/odbc.ini

step "The demo database, from demo/schema.sql through the shell"
"$root/scripts/demo-database.sh" "$shell" "$demo_dir/demo.db" $reset

step "The tour: demo/demo.sql"
# The tour runs in build/linux/demo, where its export lands; a link to the
# clone's demo folder lets the shell name the tour demo/demo.sql, wherever
# the clone is.
cd "$demo_dir"
ln -sfn "$root/demo" demo
# The tour shows a failing statement on purpose, so it ends with exit status 1.
"$shell" --file=demo/demo.sql || [ $? -eq 1 ]

if [ -t 0 ] && [ -t 1 ]; then
  step "Your turn: connected to the demo database (\\help for the commands, \\quit to leave)"
  exec "$shell" demo
fi
