#!/usr/bin/env bash
# demo-database.sh - the demo database: created from demo/schema.sql
# through the shell when there is none, kept as it is (with whatever was
# added to it) when there is one, and made afresh with --reset.
#
# Usage: scripts/demo-database.sh SHELL DATABASE_FILE [--reset]
# The data source "demo" of the ODBC configuration in force must name
# DATABASE_FILE.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
shell=${1:?usage: demo-database.sh SHELL DATABASE_FILE [--reset]}
database=${2:?usage: demo-database.sh SHELL DATABASE_FILE [--reset]}
reset=${3:-}

if [ -s "$database" ] && [ "$reset" != --reset ]; then
  echo "Keeping the demo database $database as it is (--reset makes a fresh one)."
  exit 0
fi
rm -f "$database"
# A database the schema did not finish is not kept for the next run.
if ! "$shell" --quiet --bail --file="$root/demo/schema.sql" demo; then
  rm -f "$database"
  exit 1
fi
echo "Created the demo database $database from demo/schema.sql."
