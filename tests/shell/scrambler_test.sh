#!/usr/bin/env bash
# scrambler_test.sh - roridorezu-scramble's usage errors: each is one line
# saying what is wrong and a hint, with exit status 2, and a form-3
# password is never made without knowing its user name, whose absence would
# make a value that only an empty user name decodes.
. "$(dirname "$0")/lib.sh"
scramble=${RORI_SCRAMBLE:?RORI_SCRAMBLE must name the built roridorezu-scramble}

usage_errors=$(for args in "Acc-Pass_42" "--connect --host=demo --pw=x" "--connect --host=demo" \
  "--hex --escaped --form=1 x" "--stdin --form=1 x" "--connect --user=u --pw=x --stdin"; do
  echo "== $args"
  # shellcheck disable=SC2086 # the arguments are meant to be split
  run_program "$scramble" $args
done)
expect "usage errors: one line, a hint, status 2" "$usage_errors" <<'OUT'
== Acc-Pass_42
roridorezu-scramble: a form-3 value is keyed with the user name it is for, and decodes only for that name: give --user=NAME, or --empty-user for an empty user name
Try roridorezu-scramble --help for the options.
[exit 2]
== --connect --host=demo --pw=x
roridorezu-scramble: a form-3 value is keyed with the user name it is for, and decodes only for that name: give --user=NAME, or --empty-user for an empty user name
Try roridorezu-scramble --help for the options.
[exit 2]
== --connect --host=demo
roridorezu-scramble: --connect has nothing to scramble: give --pw, --stdin, or a value with a form other than 0
Try roridorezu-scramble --help for the options.
[exit 2]
== --hex --escaped --form=1 x
roridorezu-scramble: --hex and --escaped exclude each other; give neither for both
Try roridorezu-scramble --help for the options.
[exit 2]
== --stdin --form=1 x
roridorezu-scramble: --stdin reads the text, so none may be given as an argument too
Try roridorezu-scramble --help for the options.
[exit 2]
== --connect --user=u --pw=x --stdin
roridorezu-scramble: --stdin reads the text, so none may be given as an argument too
Try roridorezu-scramble --help for the options.
[exit 2]
OUT

finish
