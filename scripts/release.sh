#!/usr/bin/env bash
# release.sh - makes the packages a user downloads, from the committed tree.
#
# Installs what is missing (scripts/install-deps.sh), exports HEAD with git
# archive into a build folder of its own (uncommitted changes are not part
# of a release), builds the library and the two tools for Windows and for
# Linux there, strips them, and writes into the dist folder:
#   roridorezu-VERSION-win32.zip         the DLL, the tools, the header,
#                                         the examples, the docs, README-windows.txt
#   roridorezu-VERSION-linux-i386.tar.gz the shared library, the tools,
#                                         the header, the docs
#   SHA256SUMS                           the checksums of the archives
#   debug/                               the stripped debug information
# VERSION is the project's version in CMakeLists.txt.
#
# Two runs on the same commit give byte-identical archives: the compiler
# and linker leave out folders and times (CMakeLists.txt), every file gets
# the commit's time (SOURCE_DATE_EPOCH), and the archives hold their files
# in name order with fixed owners and modes.
#
# Environment: RORI_RELEASE_BUILD the build folder (default build/release),
# RORI_RELEASE_DIST the output folder (default dist), RORI_RELEASE_TARGETS
# which packages to make (default "win32 linux-i386").
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${RORI_RELEASE_BUILD:-$root/build/release}")
dist=$(realpath -m "${RORI_RELEASE_DIST:-$root/dist}")
targets=${RORI_RELEASE_TARGETS:-win32 linux-i386}

step() { printf '\n### %s\n' "$*"; }

step "Installing what is missing"
bash "$root/scripts/install-deps.sh"

step "Exporting HEAD into $build/src"
rm -rf "$build"
mkdir -p "$build/src"
git -C "$root" archive --format=tar HEAD | tar -x -C "$build/src"
SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct HEAD)
export SOURCE_DATE_EPOCH
version=$(sed -n 's/^project(roridorezu VERSION \([0-9.]*\).*/\1/p' "$build/src/CMakeLists.txt")
[ -n "$version" ] || { echo "release: no project version in CMakeLists.txt" >&2; exit 1; }
echo "version $version, commit $(git -C "$root" rev-parse --short HEAD), time $SOURCE_DATE_EPOCH"

# build_tree NAME TOOLCHAIN: the library and the tools, without the tests.
build_tree() {
  step "Building for $1"
  cmake -S "$build/src" -B "$build/$1" -DCMAKE_TOOLCHAIN_FILE="$build/src/cmake/$2" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build/$1" -j "$(nproc)" --target roridorezu roridorezu-shell roridorezu-scramble >/dev/null
}

# strip_into BINUTILS_PREFIX FILE DEBUG_DIR: moves the debug information of
# FILE into DEBUG_DIR/FILE.debug and leaves a link to it in FILE.
strip_into() {
  local tool=$1 file=$2 debug=$3/$(basename "$2").debug
  mkdir -p "$3"
  "${tool}objcopy" --only-keep-debug "$file" "$debug"
  "${tool}strip" --strip-all "$file"
  (cd "$3" && "${tool}objcopy" --add-gnu-debuglink="$(basename "$debug")" "$file")
}

# copy_docs DEST: the shell's manual and the programmer's guide.
copy_docs() {
  mkdir -p "$1/docs"
  local doc
  for doc in docs/shell.md docs/guide.md docs/guide; do
    if [ -e "$build/src/$doc" ]; then cp -r "$build/src/$doc" "$1/docs/"; fi
  done
}

# normalise DIR: the commit's time on everything, modes without the umask.
normalise() {
  find "$1" -type d -exec chmod 755 {} +
  find "$1" -type f -exec chmod 644 {} +
  find "$1" -type f \( -name '*.exe' -o -name '*.dll' -o -name '*.so' -o -path '*/bin/*' \) -exec chmod 755 {} +
  find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

package_win32() {
  build_tree windows mingw-i686.cmake
  local name=roridorezu-$version-win32 stage=$build/stage/roridorezu-$version-win32 w=$build/windows
  mkdir -p "$stage/include"
  local bin
  for bin in roridorezu.dll roridorezu-shell.exe roridorezu-scramble.exe; do
    cp "$w/$bin" "$stage/"
    strip_into i686-w64-mingw32- "$stage/$bin" "$dist/debug/win32"
  done
  bash "$build/src/tests/wine/check-dll.sh" i686-w64-mingw32-objdump "$stage/roridorezu.dll"
  cp "$build/src/include/roridorezu.h" "$stage/include/"
  if [ -d "$build/src/examples" ]; then cp -r "$build/src/examples" "$stage/"; fi
  copy_docs "$stage"
  # Windows users open it with Notepad: CR LF line ends.
  sed 's/$/\r/' "$build/src/packaging/README-windows.txt" >"$stage/README-windows.txt"
  normalise "$stage"
  step "Writing $name.zip"
  rm -f "$dist/$name.zip"
  # -X: no owners or extra time fields; zip stores local times, so UTC.
  (cd "$build/stage" && find "$name" | LC_ALL=C sort | TZ=UTC zip -X -q -D -@ "$dist/$name.zip")
  archives+=("$name.zip")
}

package_linux() {
  build_tree linux linux-i386.cmake
  local name=roridorezu-$version-linux-i386 stage=$build/stage/roridorezu-$version-linux-i386 l=$build/linux
  mkdir -p "$stage/lib" "$stage/bin" "$stage/include"
  cp "$l/libroridorezu.so" "$stage/lib/"
  cp "$l/tools/shell/roridorezu-shell" "$l/tools/scrambler/roridorezu-scramble" "$stage/bin/"
  local bin
  for bin in lib/libroridorezu.so bin/roridorezu-shell bin/roridorezu-scramble; do
    strip_into "" "$stage/$bin" "$dist/debug/linux-i386"
  done
  cp "$build/src/include/roridorezu.h" "$stage/include/"
  copy_docs "$stage"
  normalise "$stage"
  step "Writing $name.tar.gz"
  (cd "$build/stage" && tar --format=gnu --sort=name --mtime="@$SOURCE_DATE_EPOCH" \
     --owner=0 --group=0 --numeric-owner -cf - "$name" | gzip -n -9 >"$dist/$name.tar.gz")
  archives+=("$name.tar.gz")
}

rm -rf "$dist"
mkdir -p "$dist"
archives=()
for target in $targets; do
  case $target in
    win32) package_win32 ;;
    linux-i386) package_linux ;;
    *) echo "release: unknown package '$target' (win32, linux-i386)" >&2; exit 2 ;;
  esac
done
(cd "$dist" && sha256sum "${archives[@]}" >SHA256SUMS)

step "Written into $dist"
(cd "$dist" && ls -l "${archives[@]}" SHA256SUMS && cat SHA256SUMS)
