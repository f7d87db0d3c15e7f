#!/usr/bin/env bash
# Builds the shipped 32-bit settings tool (Brisel.exe with Kalvor.dll) with the maker's public key
# built in and publishes it as the update "Ostvane" / "Brisel.zip" into a server folder, signed,
# with the batch template trelkpublish writes for the family's programs; then checks the folder
# with trelkpublish verify. What the folder holds afterwards is what the maker uploads.
#
#   bash scripts/release.sh <serverfolder> [--key <update-secret.key>] [--public <update-public.key>]
#                           [--date dd.MM.yyyy] [--news <item>]... [--bin <folder>] [--arch i686|x86_64] [--wait <s>]
#
# The secret key comes from --key or the environment variable TRELK_UPDATE_SECRET_KEY (a path);
# the public key from --public, TRELK_UPDATE_PUBLIC_KEY_FILE or update-public.key beside the
# secret key. Without --news the one item "<date>:Version <version>" is published. --bin takes
# Brisel.exe and Kalvor.dll from a folder as they are instead of building them (they then carry
# whatever key they were built with). --arch x86_64 builds the 64-bit tool instead (for a test on
# a machine that runs no 32-bit program; users get the 32-bit one). --wait sets how long the
# installation waits for a file in use (default 30 seconds). TRELKPUBLISH may name a
# trelkpublish to use.
#
# The installation is the one every program of the family gets: each old file kept, the new one
# copied and compared, all of them put back when one step fails, the outcome in the tool's key
# HKLM\Software\Trelk\Ostvane as "UpdateResult", which the tool tells at its next start; where the
# program folder is protected, the tool asks for consent first. The wizard adds the restart.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

usage() {
  sed -n '7,8p' "$0" | sed 's/^#  *//' >&2
  exit 2
}

server=
key=${TRELK_UPDATE_SECRET_KEY:-}
public=${TRELK_UPDATE_PUBLIC_KEY_FILE:-}
date=
bin=
arch=i686
wait=
news=()
while [ $# -gt 0 ]; do
  case "$1" in
    --key) [ $# -ge 2 ] || usage; key=$2; shift 2 ;;
    --public) [ $# -ge 2 ] || usage; public=$2; shift 2 ;;
    --date) [ $# -ge 2 ] || usage; date=$2; shift 2 ;;
    --news) [ $# -ge 2 ] || usage; news+=("$2"); shift 2 ;;
    --bin) [ $# -ge 2 ] || usage; bin=$2; shift 2 ;;
    --arch) [ $# -ge 2 ] || usage; arch=$2; shift 2 ;;
    --wait) [ $# -ge 2 ] || usage; wait=$2; shift 2 ;;
    -h|--help) usage ;;
    -*) echo "release: unknown option $1" >&2; usage ;;
    *) [ -z "$server" ] || usage; server=$1; shift ;;
  esac
done
[ -n "$server" ] || usage
case $arch in
  i686 | x86_64) ;;
  *) echo "release: --arch is i686 or x86_64, not \"$arch\"" >&2; exit 2 ;;
esac
if [ -z "$key" ]; then
  echo "release: no secret key: give --key <update-secret.key> or set TRELK_UPDATE_SECRET_KEY" >&2
  exit 2
fi
[ -f "$key" ] || { echo "release: the secret key file $key does not exist" >&2; exit 1; }
[ -n "$public" ] || public="$(dirname "$key")/update-public.key"
[ -f "$public" ] || { echo "release: the public key file $public does not exist (give --public)" >&2; exit 1; }
public_key=$(tr -d ' \t\r\n' <"$public")
[ -n "$date" ] || date=$(date +%d.%m.%Y)
version=$(sed -n 's/^#define OSTVANE_VERSION_TEXT "\(.*\)"$/\1/p' "$root/resources/Version.h")
[ ${#news[@]} -gt 0 ] || news=("$date:Version $version")

# The maker's tool, natively.
tool=${TRELKPUBLISH:-}
if [ -z "$tool" ]; then
  BUILDS=native bash "$root/scripts/build.sh" >/dev/null
  tool="$root/build/native/bin/trelkpublish"
fi

# The programs with the public key built in, in a tree of their own, without their symbol
# tables (half the download).
if [ -z "$bin" ]; then
  bash "$root/scripts/setup.sh"
  tree="$root/build/release-$arch"
  cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -Dlibzip_DIR="$root/build/deps/$arch-w64-mingw32/lib/cmake/libzip" \
    -DTRELK_UPDATE_PUBLIC_KEY="$public_key" \
    -DCMAKE_EXE_LINKER_FLAGS=-s -DCMAKE_SHARED_LINKER_FLAGS=-s >/dev/null
  echo "release: building Brisel.exe and Kalvor.dll ($arch) with the public key $public_key"
  cmake --build "$tree" -j "${JOBS:-2}" --target Brisel Kalvor
  bin="$tree/bin"
fi
for f in Brisel.exe Kalvor.dll; do
  [ -f "$bin/$f" ] || { echo "release: $bin/$f is missing" >&2; exit 1; }
done

# Both files must run from the program folder alone: nothing but system DLLs and Kalvor.dll.
system_dlls=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msimg32.dll msvcrt.dll ole32.dll
  oleaut32.dll shell32.dll user32.dll version.dll wininet.dll ws2_32.dll winmm.dll shlwapi.dll 
  kalvor.dll secur32.dll crypt32.dll "
for f in Brisel.exe Kalvor.dll; do
  for dll in $($arch-w64-mingw32-objdump -p "$bin/$f" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z'); do
    case "$system_dlls" in
      *" $dll "*) ;;
      *) echo "release: $f needs $dll, which is no part of Windows; link it statically" >&2; exit 1 ;;
    esac
  done
done

# The archive's files: both programs. The folder holds no Update.bat, so trelkpublish writes the
# family's template for them, with the tool's key (its update component keeps its settings in
# HKEY_LOCAL_MACHINE under "Ostvane").
staging="$root/build/release-staging"
rm -rf "$staging" && mkdir -p "$staging"
cp "$bin/Brisel.exe" "$bin/Kalvor.dll" "$staging/"

args=(publish --key "$key" --server "$server" --program Ostvane --from "$staging" --file Brisel.zip --date "$date"
  --registry-key Ostvane --registry-root HKLM)
[ -z "$wait" ] || args+=(--wait "$wait")
for item in "${news[@]}"; do args+=(--news "$item"); done
"$tool" "${args[@]}"
"$tool" verify --server "$server" --public "$public"
echo "release: upload $server/Updates.ini, $server/Updates.ini.sig and $server/Updates/Brisel.zip"
