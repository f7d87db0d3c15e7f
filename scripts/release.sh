#!/usr/bin/env bash
# Builds the shipped 32-bit settings tool (Brisel.exe with Kalvor.dll) with the maker's public key
# built in and publishes it as the update "Ostvane" / "Brisel.zip" into a server folder, signed,
# with the batch template that replaces both files; then checks the folder with
# trelkpublish verify. What the folder holds afterwards is what the maker uploads.
#
#   bash scripts/release.sh <serverfolder> [--key <update-secret.key>] [--public <update-public.key>]
#                           [--date dd.MM.yyyy] [--news <item>]... [--bin <folder>]
#
# The secret key comes from --key or the environment variable TRELK_UPDATE_SECRET_KEY (a path);
# the public key from --public, TRELK_UPDATE_PUBLIC_KEY_FILE or update-public.key beside the
# secret key. Without --news the one item "<date>:Version <version>" is published. --bin takes
# Brisel.exe and Kalvor.dll from a folder as they are instead of building them (they then carry
# whatever key they were built with). TRELKPUBLISH may name a trelkpublish to use.
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
news=()
while [ $# -gt 0 ]; do
  case "$1" in
    --key) [ $# -ge 2 ] || usage; key=$2; shift 2 ;;
    --public) [ $# -ge 2 ] || usage; public=$2; shift 2 ;;
    --date) [ $# -ge 2 ] || usage; date=$2; shift 2 ;;
    --news) [ $# -ge 2 ] || usage; news+=("$2"); shift 2 ;;
    --bin) [ $# -ge 2 ] || usage; bin=$2; shift 2 ;;
    -h|--help) usage ;;
    -*) echo "release: unknown option $1" >&2; usage ;;
    *) [ -z "$server" ] || usage; server=$1; shift ;;
  esac
done
[ -n "$server" ] || usage
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

# The 32-bit programs with the public key built in, in a tree of their own, without their
# symbol tables (half the download).
if [ -z "$bin" ]; then
  bash "$root/scripts/setup.sh"
  tree="$root/build/release-i686"
  cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -Dlibzip_DIR="$root/build/deps/i686-w64-mingw32/lib/cmake/libzip" \
    -DTRELK_UPDATE_PUBLIC_KEY="$public_key" \
    -DCMAKE_EXE_LINKER_FLAGS=-s -DCMAKE_SHARED_LINKER_FLAGS=-s >/dev/null
  echo "release: building Brisel.exe and Kalvor.dll (i686) with the public key $public_key"
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
  for dll in $(i686-w64-mingw32-objdump -p "$bin/$f" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z'); do
    case "$system_dlls" in
      *" $dll "*) ;;
      *) echo "release: $f needs $dll, which is no part of Windows; link it statically" >&2; exit 1 ;;
    esac
  done
done

# The archive's files: both programs and the batch template. The template runs after the tool
# has ended (the update wizard starts it then): it copies both files from the temporary folder
# into the program folder, retrying while the old Brisel.exe still runs (about 30 seconds at
# most), and removes the copies. Groups of four lines: line 0 as it is, lines 1 and 2 with the
# program folder, line 3 with the temporary and the program folder; the lines from the first
# one that begins with a blank on get the temporary folder.
staging="$root/build/release-staging"
rm -rf "$staging" && mkdir -p "$staging"
cp "$bin/Brisel.exe" "$bin/Kalvor.dll" "$staging/"
template=(
  '@echo off'
  'rem Ostvane-Update: Brisel.exe und Kalvor.dll nach %s'
  'set versuche=0'
  'rem aus %0:s nach %1:s'

  ':brisel'
  'ping -n 2 127.0.0.1 >nul'
  'set /a versuche=versuche+1'
  'copy /y "%0:sBrisel.exe" "%1:sBrisel.exe" >nul'

  'if not errorlevel 1 goto kalvor'
  'if %%versuche%% lss 30 goto brisel'
  'goto ende'
  'rem Brisel.exe blieb gesperrt'

  ':kalvor'
  'rem Kalvor.dll'
  'rem'
  'copy /y "%0:sKalvor.dll" "%1:sKalvor.dll" >nul'

  'if not errorlevel 1 goto ende'
  'set /a versuche=versuche+1'
  'ping -n 2 127.0.0.1 >nul'
  'if %%versuche%% lss 30 goto kalvor'

  ':ende'
  'rem'
  'rem'
  'rem'

  ' del "%sBrisel.exe"'
  ' del "%sKalvor.dll"'
)
printf '%s\r\n' "${template[@]}" >"$staging/Update.bat"

args=(publish --key "$key" --server "$server" --program Ostvane --from "$staging" --file Brisel.zip --date "$date")
for item in "${news[@]}"; do args+=(--news "$item"); done
"$tool" "${args[@]}"
"$tool" verify --server "$server" --public "$public"
echo "release: upload $server/Updates.ini, $server/Updates.ini.sig and $server/Updates/Brisel.zip"
