#!/usr/bin/env bash
# test.sh - the one test command: installs what is missing, builds the
# Windows DLL with its Wine suite (build/windows) and the Linux library with
# its suite (build/linux), then runs every test through CTest in the Linux
# build: the Linux suite, the DLL's export and import check, the Wine run,
# and the release of the committed tree (scripts/release.sh) unpacked and
# used on Windows under a fresh Wine prefix and on Linux.
# Then the reliability runs (scripts/reliability.sh): the Linux suite again
# under AddressSanitizer and UndefinedBehaviorSanitizer, valgrind memcheck,
# and the libFuzzer corpus replay with a short fuzzing of each target.
set -euo pipefail
cd "$(dirname "$0")/.."
# The database servers are started and stopped by CTest; this stops them
# too should CTest itself be killed before its cleanup step.
trap 'bash scripts/servers.sh stop "$PWD/build/linux/servers.env" >/dev/null 2>&1 || true' EXIT

bash scripts/install-deps.sh

jobs=$(nproc)
cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
cmake --build build/windows -j "$jobs"
cmake -S . -B build/linux -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i386.cmake \
  -DRORI_WINDOWS_BUILD_DIR="$PWD/build/windows"
cmake --build build/linux -j "$jobs"

(cd build/linux && ctest --output-on-failure -j "$jobs")

bash scripts/reliability.sh
