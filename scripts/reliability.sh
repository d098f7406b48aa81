#!/usr/bin/env bash
# reliability.sh - the reliability runs of the test command, after the
# Linux build (build/linux) exists:
#   1. the whole Linux suite, built again for i386 with AddressSanitizer and
#      UndefinedBehaviorSanitizer (build/asan): the fault injection suite, a
#      bounded request fuzz and the short stress included; then two longer
#      request fuzz runs on fixed seeds;
#   2. valgrind memcheck of the SQLite part of the suite, of the fault
#      injection suite, of a request fuzz run and of a short stress run,
#      and valgrind DRD of the threads that share the library without a
#      host lock (build/linux);
#   3. the libFuzzer targets (build/fuzz, clang): the seed corpus in
#      tests/fuzz/corpus replayed, then each target fuzzed for a short time.
# Any sanitizer report, memcheck error, leak from the library, fuzzer crash
# or failed test makes it fail.
#
# Settings: RORI_FUZZ_SECONDS (per libFuzzer target, default 20),
# RORI_FUZZ_REQUESTS (per long request fuzz run, default 20000).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
fuzz_seconds=${RORI_FUZZ_SECONDS:-20}
fuzz_requests=${RORI_FUZZ_REQUESTS:-20000}

step() { printf '\n=== reliability: %s\n' "$*"; }

# --- 1. sanitizers -------------------------------------------------------
# LeakSanitizer does run on i386, but the one leak it finds is unixODBC's
# (see tests/valgrind/odbc.supp), made in libodbcinst, which is unloaded
# before the check at exit: LSan can then neither name nor suppress it. Leak
# checking is left to valgrind, which keeps the unloaded frames' names.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
step "ASan+UBSan build (build/asan)"
cmake -S . -B build/asan -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i386.cmake -DRORI_SANITIZE=ON >/dev/null
cmake --build build/asan -j "$jobs"
step "the Linux suite under ASan+UBSan"
(cd build/asan && ctest --output-on-failure -j "$jobs")
for seed in 1 2; do
  step "request fuzz under ASan+UBSan: seed $seed, $fuzz_requests requests"
  RORI_FUZZ_SEED=$seed RORI_FUZZ_REQUESTS=$fuzz_requests build/asan/tests/fuzz/rori_request_fuzz
done
unset ASAN_OPTIONS UBSAN_OPTIONS

# --- 2. valgrind memcheck ----------------------------------------------
# --keep-debuginfo: the SQLite driver is unloaded at disconnect, and its
# frames must keep their names for the suppressions to match.
memcheck=(valgrind -q --error-exitcode=99 --leak-check=full
          --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect
          --keep-debuginfo=yes --num-callers=40 --suppressions="$root/tests/valgrind/odbc.supp")
# The thread and unload loops are cut short under valgrind: 20 rounds, and
# 100 of the 1,000 load and unload cycles (1,000 take some 6 minutes here).
step "valgrind memcheck: the suite on SQLite (the database servers' part left out)"
RORI_THREAD_ROUNDS=20 RORI_UNLOAD_CYCLES=100 RORI_SO="$root/build/linux/libroridorezu.so" \
  "${memcheck[@]}" build/linux/tests/rori_tests --gtest_brief=1 --gtest_filter='-sources/*:source_*'
step "valgrind DRD: threads on their own slots without a host lock, 20 rounds"
RORI_THREAD_ROUNDS=20 valgrind -q --tool=drd --error-exitcode=99 \
  build/linux/tests/rori_tests --gtest_brief=1 --gtest_filter='threads_test.*'
step "valgrind memcheck: the fault injection suite"
"${memcheck[@]}" build/linux/tests/faults/rori_fault_tests --gtest_brief=1
step "valgrind memcheck: request fuzz, seed 3, 3000 requests"
RORI_FUZZ_SEED=3 RORI_FUZZ_REQUESTS=3000 "${memcheck[@]}" build/linux/tests/fuzz/rori_request_fuzz --gtest_brief=1
step "valgrind memcheck: stress, short form"
RORI_STRESS_STATEMENTS=30 RORI_STRESS_CONNECTS=50 RORI_STRESS_BIG_MB=1 \
  "${memcheck[@]}" build/linux/tests/stress/rori_stress_tests --gtest_brief=1

# --- 3. libFuzzer ----------------------------------------------------------
step "libFuzzer targets (build/fuzz)"
CXX=clang++ cmake -S tests/fuzz/libfuzzer -B build/fuzz >/dev/null
cmake --build build/fuzz -j "$jobs"
for target in connect pw_decode base64 copy_bounded; do
  seeds=tests/fuzz/corpus/$target
  work=build/fuzz/corpus-$target
  step "fuzz_$target: replay of $seeds, then $fuzz_seconds s of fuzzing"
  build/fuzz/fuzz_$target -runs=0 "$seeds"
  rm -rf "$work" build/fuzz/$target-* && mkdir -p "$work"
  (cd build/fuzz && ./fuzz_$target -max_total_time="$fuzz_seconds" -print_final_stats=1 \
     -artifact_prefix="$root/build/fuzz/$target-" "corpus-$target" "$root/$seeds" 2>&1 |
     grep -E '^(Done|stat::number_of_executed_units|INFO: A corpus|==|SUMMARY)' || true)
  # A crash leaves its input behind and a non-zero status above is lost in
  # the pipe: look for the input instead.
  if ls build/fuzz/$target-* >/dev/null 2>&1; then
    echo "fuzz_$target failed; inputs: $(ls build/fuzz/$target-*)"
    exit 1
  fi
done

step "all reliability runs passed"
