#!/usr/bin/env bash
# check-dll.sh - checks the export and import tables of roridorezu.dll.
# The DLL must export exactly one function, under the undecorated name
# vizori, and import from Windows system DLLs only (the compiler runtime is
# linked in), ODBC32.dll among them.
# Usage: check-dll.sh OBJDUMP DLL
set -euo pipefail
objdump=$1
dll=$2

dump=$("$objdump" -p "$dll")
fail=0

# "Export Address Table  0000000n" under "Number in:" counts every export,
# with or without a name.
count_hex=$(awk '/Number in:/ {n = 1; next} n && /Export Address Table/ {print $NF; exit}' <<<"$dump")
count=$((16#${count_hex:-0}))
names=$(awk '/\[Ordinal\/Name Pointer\] Table/ {n = 1; next} n && NF == 0 {exit} n {print $NF}' <<<"$dump")
if [ "$count" != 1 ] || [ "$names" != vizori ]; then
  echo "exports: expected exactly 'vizori', found $count export(s): $(echo ${names:-none})" >&2
  fail=1
fi

system_dll='^(kernel32|msvcrt|odbc32|user32|advapi32|ntdll|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'
imports=$(awk -F': ' '/DLL Name:/ {print tolower($2)}' <<<"$dump")
while read -r name; do
  if ! [[ $name =~ $system_dll ]]; then
    echo "imports: $name is not a system DLL" >&2
    fail=1
  fi
done <<<"$imports"
if ! grep -qx odbc32.dll <<<"$imports"; then
  echo "imports: ODBC32.dll is missing (found: $(echo $imports))" >&2
  fail=1
fi

[ $fail -eq 0 ] && echo "exports: vizori; imports: $(echo $imports)"
exit $fail
