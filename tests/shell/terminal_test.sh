#!/usr/bin/env bash
# terminal_test.sh - the shell on a pseudo-terminal (through script from
# bsdutils): the prompt with line editing and history, a statement typed
# over two lines, text beyond ASCII, Ctrl-C, Ctrl-D and \quit with an
# unfinished statement, a history of whole statements without passwords, a
# password and a scrambler text typed without echo, the progress line of a
# long result, which appears on a terminal and never in a pipe, and Ctrl-C
# on a statement that waits for a lock.
. "$(dirname "$0")/lib.sh"
export HOME=$work # where the shell keeps its history

# on_terminal ARGS... - runs the shell on a pseudo-terminal, with standard
# input as what is typed, and prints what the terminal showed.
on_terminal() {
  script -qec "$(printf '%q ' "$shell_bin" "$@")" /dev/null | tr -d '\r'
}

# Characters beyond ASCII are typed in the locale's encoding.
: >typed.log
typed=$(typist typed.log '1|SELECT 6 *\n' '2| 7 AS answer;\n' "3|SELECT '漢字' AS k;\\n" '4|\\c demo ann secret\n' \
  '5|DELETE FROM t\n' '6|\\quit\n' | LC_ALL=C.UTF-8 typed typed.log "$shell_bin" demo)
expect_lines "the prompt, the continuation prompt and the results" "$typed" <<'OUT'
roridorezu-shell: type \help for the commands, \quit to leave.
demo[1]> SELECT 6 *
    ...>  7 AS answer;
 answer
--------
     42
demo[1]> SELECT '漢字' AS k;
 漢字
note: the unfinished statement was discarded, not run: it had no ';'
OUT
expect "the history is kept for the next session" "$(head -n 1 "$HOME/.roridorezu_history")" <<'OUT'
_HiStOrY_V2_
OUT

# Ctrl-C and Ctrl-D are bytes typed at the terminal (typist, lib.sh). The
# results go to /dev/null: millions of rows on the terminal would make the
# typist late for the Ctrl-C that is to stop them. The note is written
# where the erased progress line was, on the same line of the log.
long="WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 3000000) SELECT x FROM c;"
: >keys.log
keys=$(typist keys.log '1|CREATE TABLE t (x INTEGER);\n' '2|INSERT INTO t VALUES (1), (2);\n' '3|DELETE FROM t\n' \
  '4|\003' "5|$long\\n" 'rows/s|\003' '6|SELECT count(*) AS n FROM t;\n' \
  '7|\\connect -host=demo -user=ann -pw=secret\n' '8|DELETE FROM t\n' '9|\004' |
  typed keys.log "$shell_bin" -q -o /dev/null demo | sed 's/than [0-9]* rows/than N rows/; s/.*rows\/s.*\(note: \)/\1/')
expect_lines "Ctrl-C clears the input and stops reading a result; Ctrl-D never runs an unfinished statement" "$keys" <<'OUT'
note: interrupted: the result was read no further than N rows, and its cursor is closed
demo as ann[2]> DELETE FROM t
note: the unfinished statement was discarded, not run: it had no ';'
OUT
expect "so no row was deleted, and the shell ended as asked" "$(run_shell -q --csv demo -c 'SELECT count(*) AS n FROM t')" <<'OUT'
n
2
[exit 0]
OUT
expect_lines "the history holds whole statements but no password" "$(cat "$HOME/.roridorezu_history")" <<'OUT'
SELECT\0406\040*\012\0407\040AS\040answer;
\134c\040demo\040ann\040***
\134connect\040-host=demo\040-user=ann\040-pw=***
OUT
expect_absent "not even the password itself" "$(cat "$HOME/.roridorezu_history")" secret

# Typed without echo: a password asked for by a bare -pw, and the text of
# the scrambler's --stdin.
: >password.log
asked=$(typist password.log 'Password for|secret\n' | typed password.log "$shell_bin" -q -host=demo -user=ann -pw -c 'SELECT 1 AS one')
expect_lines "the password is asked for and the connection made" "$asked" <<'OUT'
Password for demo as ann:
   1
OUT
expect_absent "and the password is not shown" "$asked" secret
: >scramble.log
scrambled=$(typist scramble.log 'Text to scramble|hidden\n' | typed scramble.log "$RORI_SCRAMBLE" --stdin --form=1 --hex)
expect "the scrambler asks for its text without showing it" "$scrambled" <<'OUT'
Text to scramble:
01 39 5E 13 47 29 16
OUT

printf '%s\n' "$long" "SELECT 'not run' AS s;" >long.sql
: >include.log
included=$(typist include.log '1|\\i long.sql\n' 'rows/s|\003' '2|\\echo back at the prompt\n' '3|\\q\n' |
  typed include.log bash -c '"$0" -q -o /dev/null demo; echo "[exit $?]"' "$shell_bin")
expect_lines "Ctrl-C in a file of \\i typed at the prompt stops the file, and the prompt comes back" "$included" <<'OUT'
long.sql:1: error: interrupted: the rest of the input was not run
back at the prompt
[exit 0]
OUT

# Four million rows: fetching them one request at a time takes seconds, well
# beyond the second after which the progress line appears (a million took
# about one second once the export got faster).
big="WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 4000000) SELECT x FROM c"
shown=$(on_terminal -q --csv -o /dev/null demo -c "$big" </dev/null)
expect_lines "a long result shows its progress on the terminal" "$(grep -o '[0-9]* rows, [0-9]* rows/s' <<<"$shown" | tail -n 1 | sed 's/[0-9][0-9]*/N/g')" <<'OUT'
N rows, N rows/s
OUT
piped=$("$shell_bin" -q --csv -o /dev/null demo -c "$big" 2>&1)
expect "and nothing when standard error is not a terminal" "$piped" <<'OUT'
OUT

# Two connections, and the second waits for the lock the first holds: the
# request cannot be cancelled. The Ctrl-C comes once the blocked INSERT
# waits for the lock.
: >blocked.log
blocked=$(typist blocked.log '1|\\use 1\n' '2|\\setattr conn autocommit off\n' '3|INSERT INTO t VALUES (3);\n' \
  '4|\\use 2\n' '5|INSERT INTO t VALUES (4);\n' '@locked|\003' 'Ctrl-C again|\003' |
  typed blocked.log bash -c '"$0" -q demo demo; echo "[exit $?]"' "$shell_bin")
expect_lines "Ctrl-C on a blocked statement explains; a second one leaves the shell" "$blocked" <<'OUT'
note: the statement is still running on the server and cannot be cancelled through the connector; the shell waits for it. Press Ctrl-C again to leave the shell: the work not committed on its connections is then rolled back.
note: left the shell while a statement was running; the work not committed is rolled back
[exit 130]
OUT
expect "and neither connection's row was kept" "$(run_shell -q --csv demo -c 'SELECT count(*) AS n FROM t')" <<'OUT'
n
2
[exit 0]
OUT

finish
