#!/usr/bin/env bash
# Builds the x86_64 and i686 Windows programs (build/<arch>/bin) and the native sanitizer build
# of the portable logic (build/native). Installs what is missing first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
jobs=${JOBS:-2}
configure() {  # dir, extra cmake arguments...
  local dir=$1
  shift
  [ -f "$root/build/$dir/build.ninja" ] && return 0
  cmake -S "$root" -B "$root/build/$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}
configure x86_64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
  -Dlibzip_DIR="$root/build/deps/x86_64-w64-mingw32/lib/cmake/libzip" \
  "-DCMAKE_CROSSCOMPILING_EMULATOR=/usr/bin/env;WINEDEBUG=-all;WINEPREFIX=$root/build/wine-test;LC_ALL=de_DE.UTF-8;/usr/lib/wine/wine64"
configure i686 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -Dlibzip_DIR="$root/build/deps/i686-w64-mingw32/lib/cmake/libzip"
for dir in ${BUILDS:-x86_64 i686 native}; do
  [ "$dir" = native ] && configure native -DCMAKE_BUILD_TYPE=Debug
  echo "build: $dir"
  cmake --build "$root/build/$dir" -j "$jobs"
done
