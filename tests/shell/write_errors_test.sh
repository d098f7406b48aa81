#!/usr/bin/env bash
# write_errors_test.sh - results that cannot be written in full: a full
# file system (a 200 KB tmpfs, or a file-size limit where no tmpfs can be
# mounted), -o /dev/full, standard output on /dev/full; and a reader that
# goes away (a closed pipe), which ends the shell quietly.
. "$(dirname "$0")/lib.sh"

many_rows="WITH RECURSIVE g(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM g WHERE n < 100000)
SELECT n, 'a value of some thirty characters' AS v FROM g"

# A file on a full file system: a private mount namespace holds the tmpfs,
# so that nothing is left mounted whatever happens to the test. Without the
# privilege for it, a file-size limit makes the writes fail with EFBIG.
full_dir=$work/full
mkdir "$full_dir"
if unshare -m mount -t tmpfs -o size=200k tmpfs "$full_dir" 2>/dev/null; then
  written=$(unshare -m bash -c 'mount -t tmpfs -o size=200k tmpfs "$0" || exit 1
    rc=0; "$@" 2>&1 || rc=$?; echo "[exit $rc]"; wc -c <"$0/out.csv"' \
    "$full_dir" "$shell_bin" -q --csv -o "$full_dir/out.csv" -c "$many_rows" demo)
  why="No space left on device"
else
  written=$( (trap '' XFSZ; ulimit -f 200; run_shell -q --csv -o "$full_dir/out.csv" -c "$many_rows" demo; wc -c <"$full_dir/out.csv"))
  why="File too large"
fi
expect "a full file system ends the command with status 1" "$(sed '$d' <<<"$written")" <<OUT
-c statement 1 "WITH RECURSIVE g(n) AS ...": error: could not write to $full_dir/out.csv: $why
[exit 1]
OUT
size=$(tail -1 <<<"$written")
[ "$size" -gt 0 ] && [ "$size" -le 204800 ] && record "the file holds what fitted" ok ||
  record "the file holds what fitted ($size bytes)" failed

# One row stays in the buffer until the final flush, which fails; the
# statement after the failure is not run.
expect "-o /dev/full, seen at the final flush" \
  "$(run_shell -o /dev/full -c "SELECT 1 AS one; CREATE TABLE after_failure (x INTEGER)" demo)" <<'OUT'
connected slot 1: demo
-c statement 1 "SELECT 1 AS one": error: could not write to /dev/full: No space left on device
[exit 1]
OUT
expect "the statement after a write failure did not run" \
  "$(run_shell -q --csv -c "SELECT count(*) FROM sqlite_master WHERE name = 'after_failure'" demo)" <<'OUT'
count(*)
0
[exit 0]
OUT

stdout_full=$(
  rc=0
  "$shell_bin" --format=tsv -c "$many_rows" demo 2>&1 >/dev/full || rc=$?
  echo "[exit $rc]"
)
expect "standard output on /dev/full" "$stdout_full" <<'OUT'
error: could not write to standard output (/dev/full): No space left on device
[exit 1]
OUT

# With SIGPIPE ignored (as some drivers set it) the writes fail with EPIPE:
# the shell stops without a message and without a failure.
closed_pipe=$( (
  trap '' PIPE
  rc=0
  "$shell_bin" --csv -c "$many_rows" demo 2>"$work/pipe.err" || rc=$?
  echo "[exit $rc]" >"$work/pipe.rc"
) | head -2)
expect "a closed pipe ends the shell quietly" "$closed_pipe
$(cat "$work/pipe.err" "$work/pipe.rc")" <<'OUT'
connected slot 1: demo
n,v
[exit 0]
OUT

finish
