#!/usr/bin/env bash
# Installs everything the build and the tests need on Debian 12 and is quick when all is there:
# the mingw-w64 cross compilers, Wine, Xvfb and friends, the German locale, and libzip (with
# bzip2 and liblzma) and libsodium cross-built for both Windows targets from Debian's source
# packages (natively both come from the -dev packages, for the publishing tool and its tests),
# and Wine's 32-bit loader where the machine runs 32-bit programs.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
deps="$here/build/deps"

sudo_() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

packages=(
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  mingw-w64-x86-64-dev mingw-w64-i686-dev libz-mingw-w64-dev
  wine wine64 fonts-wine xvfb xauth xdotool imagemagick x11-utils fonts-dejavu-core
  googletest cmake ninja-build g++ locales python3 curl dpkg-dev xz-utils binutils
  autoconf automake libtool make patch pkg-config libsodium-dev libzip-dev
  libgnutls30 openssl
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  sudo_ apt-get update -q
  sudo_ apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The shipped 32-bit build runs under Wine's 32-bit loader: wine32 from the i386 architecture,
# where this machine runs 32-bit programs at all (found out by starting one). Wine prefixes made
# before wine32 was there are 64-bit only; scripts/wine-env.sh makes them again. Wine's TLS
# (Schannel) is GnuTLS of the program's own architecture: libgnutls30 for the 64-bit build,
# libgnutls30:i386 for the 32-bit one (without it every https transfer of that build fails).
source "$here/scripts/arch32.sh"
if runs_32bit; then
  if ! has_wine32; then
    echo "setup: installing wine32:i386 for the 32-bit build's tests"
    export DEBIAN_FRONTEND=noninteractive
    dpkg --print-foreign-architectures | grep -qx i386 || sudo_ dpkg --add-architecture i386
    sudo_ apt-get update -q
    sudo_ apt-get install -y -q wine32:i386
  fi
  if ! dpkg-query -W -f='${Status}' libgnutls30:i386 2>/dev/null | grep -q 'install ok installed'; then
    echo "setup: installing libgnutls30:i386 for the 32-bit build's https transfers"
    export DEBIAN_FRONTEND=noninteractive
    sudo_ apt-get install -y -q libgnutls30:i386 || { sudo_ apt-get update -q && sudo_ apt-get install -y -q libgnutls30:i386; }
  fi
else
  echo "setup: this machine cannot run 32-bit programs: the 32-bit build is compiled, not tested"
fi

# German glibc locale: Wine takes its code pages and formats from it, and file names with
# umlauts only open with it.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "setup: generating de_DE.UTF-8"
  sudo_ sed -i 's/^# *de_DE.UTF-8/de_DE.UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | sudo_ tee -a /etc/locale.gen >/dev/null
  sudo_ locale-gen >/dev/null
fi

# Where apt keeps its package sources.
apt_etc=/etc/apt

# enable_source_packages: a deb-src twin of each Debian package source, added once as a file of
# its own beside the sources: for the deb822 file "debian.sources" its stanzas of type "deb" as
# "debian-src.sources", for the classic "sources.list" its "deb" lines as "deb-src" lines in
# "debian-src.list" (less those that are there already). apt-get update when one was added.
enable_source_packages() {
  local added=0 lines
  if [ ! -f "$apt_etc/sources.list.d/debian-src.sources" ] && [ -f "$apt_etc/sources.list.d/debian.sources" ]; then
    sed 's/^Types: deb$/Types: deb-src/' "$apt_etc/sources.list.d/debian.sources" |
      sudo_ tee "$apt_etc/sources.list.d/debian-src.sources" >/dev/null
    added=1
  fi
  if [ ! -f "$apt_etc/sources.list.d/debian-src.list" ] && [ -f "$apt_etc/sources.list" ]; then
    # Lines are compared with their spacing made even: a twin that is there already is not
    # added again.
    lines=$(awk '
      { $1 = $1 }
      /^deb-src / { have[$0] = 1; next }
      /^deb / { sub(/^deb /, "deb-src "); want[++n] = $0 }
      END { for (i = 1; i <= n; i++) if (!(want[i] in have)) { print want[i]; have[want[i]] = 1 } }
    ' "$apt_etc/sources.list")
    if [ -n "$lines" ]; then
      printf '%s\n' "$lines" | sudo_ tee "$apt_etc/sources.list.d/debian-src.list" >/dev/null
      added=1
    fi
  fi
  if [ "$added" = 1 ] && ! sudo_ apt-get update -q; then
    echo "setup: apt-get update failed with the deb-src entries added in $apt_etc/sources.list.d" >&2
    exit 1
  fi
}

# source_tarball PACKAGE upstream|debian: the path of PACKAGE's tarball of that kind in
# $deps/src, as apt-get source leaves it: "<package>_<version>.orig.tar.<ext>" (or a Debian-only
# package's one "<package>_<version>.tar.<ext>"), or "<package>_<version>-<revision>.debian.tar.<ext>".
# Nothing when there is none; a signature beside a tarball (".asc") is none.
source_tarball() {
  local f native=
  for f in "$deps/src/$1"_*.tar.*; do
    [ -f "$f" ] || continue
    case $f in
      *.tar.gz | *.tar.xz | *.tar.bz2 | *.tar.lzma | *.tar.zst) ;;
      *) continue ;;
    esac
    case $f in
      *.orig.tar.*) if [ "$2" = upstream ]; then echo "$f" && return 0; fi ;;
      *.debian.tar.*) if [ "$2" = debian ]; then echo "$f" && return 0; fi ;;
      *.orig-*) ;;  # a further upstream part
      *) native=$f ;;
    esac
  done
  if [ "$2" = upstream ] && [ -n "$native" ]; then echo "$native"; fi
}

# has_source PACKAGE: whether the tarballs of PACKAGE are in $deps/src: the upstream one and,
# beside an ".orig" one, Debian's.
has_source() {
  local upstream
  upstream=$(source_tarball "$1" upstream)
  [ -n "$upstream" ] || return 1
  case $upstream in
    *.orig.tar.*) [ -n "$(source_tarball "$1" debian)" ] ;;
  esac
}

# fetch_source PACKAGE: Debian's source package of bookworm (the suite pinned: the security
# suite's tarballs are not on the mirror) in $deps/src, source packages enabled once. Ends the
# setup with a message when it cannot be had.
fetch_source() {
  local src="$deps/src"
  mkdir -p "$src"
  has_source "$1" && return 0
  enable_source_packages
  if ! (cd "$src" && apt-get source --download-only "$1/bookworm" >/dev/null); then
    echo "setup: apt-get source $1/bookworm failed (are Debian's source packages in $apt_etc?)" >&2
    exit 1
  fi
  if ! has_source "$1"; then
    echo "setup: apt-get source $1/bookworm left no tarball of $1 in $src" >&2
    exit 1
  fi
}

# unpack_source PACKAGE WORK: the upstream tarball of PACKAGE, fetched when needed, unpacked
# into the fresh folder WORK.
unpack_source() {
  fetch_source "$1"
  rm -rf "$2" && mkdir -p "$2"
  tar -xf "$(source_tarball "$1" upstream)" -C "$2" --strip-components=1
}

# bzip2, static, for both mingw targets: the library's seven sources compiled as Debian's own
# build does, without its Makefile (which builds and runs the command-line tools too).
build_bzip2() {
  local triple=$1 prefix="$deps/$1"
  [ -f "$prefix/lib/libbz2.a" ] && [ -f "$prefix/include/bzlib.h" ] && return 0
  local work="$deps/bzip2-$triple"
  unpack_source bzip2 "$work"
  echo "setup: building bzip2 for $triple"
  (
    cd "$work"
    for f in blocksort huffman crctable randtable compress decompress bzlib; do
      "$triple-gcc-posix" -O2 -D_FILE_OFFSET_BITS=64 -c "$f.c" -o "$f.o"
    done
    "$triple-ar" rcs libbz2.a blocksort.o huffman.o crctable.o randtable.o compress.o decompress.o bzlib.o
    mkdir -p "$prefix/lib" "$prefix/include"
    cp libbz2.a "$prefix/lib/" && cp bzlib.h "$prefix/include/"
  ) >"$work.log" 2>&1 || { tail -n 40 "$work.log"; exit 1; }
  rm -rf "$work"
}

# liblzma of xz-utils, static, for both mingw targets: the library alone (no tools, no threads:
# the programs only decode, on their one thread).
build_lzma() {
  local triple=$1 prefix="$deps/$1"
  [ -f "$prefix/lib/liblzma.a" ] && [ -f "$prefix/include/lzma.h" ] && return 0
  local work="$deps/xz-$triple"
  unpack_source xz-utils "$work"
  echo "setup: building liblzma for $triple"
  (
    cd "$work"
    ./configure --host="$triple" CC="$triple-gcc-posix" --prefix="$prefix" --disable-shared --enable-static \
      --disable-threads --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo --disable-lzma-links \
      --disable-scripts --disable-doc --disable-nls
    make -j "${JOBS:-2}" -C src/liblzma
    make -C src/liblzma install
  ) >"$work.log" 2>&1 || { tail -n 40 "$work.log"; exit 1; }
  rm -rf "$work"
}

# libzip, static, for both mingw targets, with Deflate, bzip2 and LZMA (7-Zip writes the last
# two on request). A libzip built before without them is built again.
build_libzip() {
  local triple=$1 prefix="$deps/$1"
  [ -f "$prefix/lib/cmake/libzip/libzip-config.cmake" ] &&
    grep -q 'LibLZMA::LibLZMA' "$prefix/lib/cmake/libzip/libzip-targets.cmake" 2>/dev/null &&
    grep -q 'BZip2::BZip2' "$prefix/lib/cmake/libzip/libzip-targets.cmake" && return 0
  build_bzip2 "$triple"
  build_lzma "$triple"
  local work="$deps/libzip-$triple"
  unpack_source libzip "$work"
  echo "setup: building libzip for $triple"
  # LZMA_API_STATIC: lzma.h declares its functions for the static library, not as DLL imports.
  cmake -S "$work" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_C_COMPILER="$triple-gcc-posix" \
    -DCMAKE_RC_COMPILER="$triple-windres" -DCMAKE_C_FLAGS="-DLZMA_API_STATIC" \
    -DCMAKE_FIND_ROOT_PATH="/usr/$triple" -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER \
    -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DENABLE_BZIP2=ON -DENABLE_LZMA=ON -DENABLE_ZSTD=OFF -DENABLE_OPENSSL=OFF -DENABLE_GNUTLS=OFF \
    -DENABLE_MBEDTLS=OFF -DENABLE_COMMONCRYPTO=OFF -DENABLE_WINDOWS_CRYPTO=OFF \
    -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF \
    -DZLIB_LIBRARY="/usr/$triple/lib/libz.a" -DZLIB_INCLUDE_DIR="/usr/$triple/include" \
    -DBZIP2_LIBRARIES="$prefix/lib/libbz2.a" -DBZIP2_LIBRARY_RELEASE="$prefix/lib/libbz2.a" \
    -DBZIP2_INCLUDE_DIR="$prefix/include" \
    -DLIBLZMA_LIBRARY="$prefix/lib/liblzma.a" -DLIBLZMA_LIBRARY_RELEASE="$prefix/lib/liblzma.a" \
    -DLIBLZMA_INCLUDE_DIR="$prefix/include" >"$work.log" 2>&1 ||
    { cat "$work.log"; exit 1; }
  grep -q 'bzip2 library not found\|lzma library not found' "$work.log" && { cat "$work.log"; exit 1; }
  cmake --build "$work/build" >>"$work.log" 2>&1 && cmake --install "$work/build" >>"$work.log" 2>&1 ||
    { tail -n 40 "$work.log"; exit 1; }
  rm -rf "$work"
}
build_libzip x86_64-w64-mingw32
build_libzip i686-w64-mingw32

# libsodium, static, for both mingw targets: Debian's upstream tarball with Debian's patches, the
# configure script made with autoreconf as Debian's own build does. No -fstack-protector (it
# would need libssp in every program) and no pthreads (the library locks with Win32 calls).
build_libsodium() {
  local triple=$1 prefix="$deps/$1"
  [ -f "$prefix/lib/libsodium.a" ] && [ -f "$prefix/include/sodium.h" ] && return 0
  local work="$deps/libsodium-$triple"
  unpack_source libsodium "$work"
  local debian
  debian=$(source_tarball libsodium debian)
  echo "setup: building libsodium for $triple"
  (
    cd "$work"
    tar -xf "$debian"
    if [ -f debian/patches/series ]; then
      grep -v '^#' debian/patches/series | while read -r p; do
        [ -n "$p" ] && patch -p1 -s <"debian/patches/$p"
      done
    fi
    [ -x configure ] || autoreconf -fi
    ./configure --host="$triple" CC="$triple-gcc-posix" --prefix="$prefix" \
      --disable-shared --enable-static --disable-ssp --disable-pie --without-pthreads
    make -j "${JOBS:-2}"
    make install
  ) >"$work.log" 2>&1 || { tail -n 40 "$work.log"; exit 1; }
  rm -rf "$work"
}
build_libsodium x86_64-w64-mingw32
build_libsodium i686-w64-mingw32
