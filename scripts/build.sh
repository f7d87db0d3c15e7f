#!/usr/bin/env bash
# Builds the x86_64 and i686 Windows programs with their tests (build/<arch>/bin; the i686 tests
# only where Wine runs 32-bit programs) and the native sanitizer build of the portable logic
# (build/native). Installs what is missing first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
jobs=${JOBS:-2}
# configure DIR ARGS...: CMake run once per tree, and again when its arguments change.
configure() {
  local dir=$1
  shift
  local stamp="$root/build/$dir/configure-args"
  [ -f "$root/build/$dir/build.ninja" ] && [ "$(cat "$stamp" 2>/dev/null)" = "$*" ] && return 0
  cmake -S "$root" -B "$root/build/$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  printf '%s' "$*" >"$stamp"
}
# The test programs run through scripts/wine-exec.sh, in the prefix OSTVANE_WINEPREFIX names.
wine_env="/bin/sh;$root/scripts/wine-exec.sh"
configure x86_64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
  -Dlibzip_DIR="$root/build/deps/x86_64-w64-mingw32/lib/cmake/libzip" \
  "-DCMAKE_CROSSCOMPILING_EMULATOR=$wine_env;/usr/lib/wine/wine64"
# The 32-bit tree builds and runs its tests with Wine's 32-bit loader where that can run.
source "$root/scripts/arch32.sh"
i686_emulator=
if can_test_32bit >/dev/null; then
  i686_emulator="$wine_env;/usr/bin/wine"
  # A prefix of the build's tools made before wine32 was installed starts no 32-bit program.
  [ -f "$root/build/wine-test/drive_c/windows/syswow64/kernel32.dll" ] || rm -rf "$root/build/wine-test"
fi
configure i686 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -Dlibzip_DIR="$root/build/deps/i686-w64-mingw32/lib/cmake/libzip" \
  "-DCMAKE_CROSSCOMPILING_EMULATOR=$i686_emulator"
for dir in ${BUILDS:-x86_64 i686 native}; do
  [ "$dir" = native ] && configure native -DCMAKE_BUILD_TYPE=Debug
  echo "build: $dir"
  cmake --build "$root/build/$dir" -j "$jobs"
done
