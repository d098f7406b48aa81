#!/usr/bin/env bash
# Installs, from Debian's packages, everything the builds and tests need,
# and the packages named as arguments (scripts/bench.sh adds its own).
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  cmake make g++ g++-multilib
  unixodbc-dev:i386 unixodbc:i386 odbcinst:i386 libsqliteodbc:i386
  g++-mingw-w64-i686 g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  wine wine32:i386
  googletest libssl-dev:i386
  # memcheck of i386 programs needs the symbols of the i386 C library
  valgrind libc6-dbg:i386 lib32asan8 lib32ubsan1 clang libclang-rt-14-dev
  # the i386 sanitizer runtimes of gcc, and clang with libFuzzer
  lib32asan8 lib32ubsan1 clang libclang-rt-14-dev
  libedit-dev:i386
  # the release archives (scripts/release.sh)
  zip unzip
  # the differential test of the shell's splitter (tests/shell/split_differential)
  python3
  postgresql mariadb-server mariadb-client odbc-postgresql:i386 odbc-mariadb:i386 iproute2
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
