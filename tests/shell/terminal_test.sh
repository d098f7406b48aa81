#!/usr/bin/env bash
# terminal_test.sh - the shell on a pseudo-terminal (through script from
# bsdutils): the prompt with line editing and history, a statement typed
# over two lines, and the progress line of a long result, which appears on
# a terminal and never in a pipe.
. "$(dirname "$0")/lib.sh"
export HOME=$work # where the shell keeps its history

# on_terminal ARGS... - runs the shell on a pseudo-terminal, typing the
# lines of standard input, and prints what the terminal showed.
on_terminal() {
  script -qec "$(printf '%q ' "$shell_bin" "$@")" /dev/null | tr -d '\r'
}

typed=$(printf 'SELECT 6 *\n 7 AS answer;\n\\quit\n' | on_terminal demo)
expect_lines "the prompt, the continuation prompt and the result" "$typed" <<'OUT'
roridorezu-shell: type \help for the commands, \quit to leave.
demo[1]> SELECT 6 *
    ...>  7 AS answer;
 answer
--------
     42
OUT
expect "the history is kept for the next session" "$(head -n 1 "$HOME/.roridorezu_history")" <<'OUT'
_HiStOrY_V2_
OUT

# A million rows: fetching them one request at a time takes seconds.
big="WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1000000) SELECT x FROM c"
shown=$(on_terminal -q --csv -o /dev/null demo -c "$big" </dev/null)
expect_lines "a long result shows its progress on the terminal" "$(grep -o '[0-9]* rows, [0-9]* rows/s' <<<"$shown" | tail -n 1 | sed 's/[0-9][0-9]*/N/g')" <<'OUT'
N rows, N rows/s
OUT
piped=$("$shell_bin" -q --csv -o /dev/null demo -c "$big" 2>&1)
expect "and nothing when standard error is not a terminal" "$piped" <<'OUT'
OUT

finish
