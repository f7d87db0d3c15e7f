#!/usr/bin/env bash
# The installation at the end of the update road for the 20 MB archive: the "Update.bat" that
# trelkpublish writes (each file kept, replaced and compared, the outcome in the key) beside a
# maker's template that only copies, both made into the batch with the programs' own rules
# (batch_probe.exe) and run by cmd.exe (the time until it has ended; the removal of the search
# folder it then starts is not counted), on a program folder that holds both files already. Prints each
# template's median wall time over RUNS runs and the outcome the written one recorded. The shipped
# 32-bit build unless OSTVANE_BENCH_ARCH=x86_64 or the machine cannot run it.
#   bash bench/template_road.sh [RUNS]     (default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
source "$root/scripts/arch32.sh"
bench_arch
BUILDS=" " bash "$root/scripts/build.sh" >/dev/null
[ -f "$root/build/native/build.ninja" ] || cmake -S "$root" -B "$root/build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$root/build/native" --target trelkpublish -j2 >/dev/null
cmake --build "$root/build/$arch" --target batch_probe Notizkasten NotizkastenNeu NotizkastenSigniert -j2 >/dev/null
source "$root/scripts/wine-env.sh"
fresh_prefix "$root/build/wine-bench-template"
work=$(mktemp -d)
cleanup() {
  stop_all
  rm -rf "$work"
}
trap cleanup EXIT
start_display  # the program's own executable makes its (hidden) windows
start_wine
bin="$root/build/$arch/bin"
tool="$root/build/native/bin/trelkpublish"
win() { printf 'Z:%s' "$1" | tr / '\\'; }

# The update: version 2.0 of the example program and 20 MB of incompressible data; the program
# folder holds version 1.0 and older data of the same size.
mkdir -p "$work/neu" "$work/own"
cp "$bin/NotizkastenNeu.exe" "$work/neu/Notizkasten.exe"
"$tool" keygen "$work/keys" >/dev/null
publish() {
  "$tool" publish --key "$work/keys/update-secret.key" --server "$work/server" --program Notizkasten --from "$work/neu" \
    --file Notizkasten.zip --registry-root HKCU >/dev/null
}
printf 'x' >"$work/neu/daten.bin"
publish
head -c $((20000000 - $(stat -c %s "$work/server/Updates/Notizkasten.zip") - 200)) /dev/urandom >"$work/neu/daten.bin"
publish
cp "$work/neu/"* "$work/own/"
printf '%s\r\n' '@echo off' 'rem %s' 'rem %s' 'copy /y "%0:sNotizkasten.exe" "%1:sNotizkasten.exe" >nul' \
  'rem' 'rem %s' 'rem %s' 'copy /y "%0:sdaten.bin" "%1:sdaten.bin" >nul' >"$work/own/Update.bat"
"$tool" publish --key "$work/keys/update-secret.key" --server "$work/server" --program Eigen --from "$work/own" \
  --file Eigen.zip >/dev/null
echo "archive: $(stat -c %s "$work/server/Updates/Notizkasten.zip") bytes"

# One installation; its seconds go into $seconds.
install() {
  # A search folder of its own each time: the batch removes its folder two seconds after it
  # has ended, which would take the next run's files away.
  runNumber=$((runNumber + 1))
  local archive=$1 prog="$work/Programme (x86)/Notizkasten" temp="$work/Temp/Trelk-Notizkasten-$(printf %08x "$runNumber")"
  rm -rf "$prog" "$temp"
  mkdir -p "$prog" "$temp"
  cp "$bin/Notizkasten.exe" "$prog/Notizkasten.exe"
  head -c "$(stat -c %s "$work/neu/daten.bin")" /dev/urandom >"$prog/daten.bin"
  python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$archive" "$temp"
  "$loader" "$bin/batch_probe.exe" "$(win "$temp/Update.bat")" "$(win "$temp/")" "$(win "$prog/")" \
    "$(win "$temp/Update.bat")" </dev/null >/dev/null
  "$loader" reg delete 'HKCU\Software\Trelk\Notizkasten' /f </dev/null >/dev/null 2>&1 || true
  local start end
  start=$(date +%s.%N)
  "$loader" cmd /c "$(win "$temp/Update.bat")" </dev/null >/dev/null 2>&1
  end=$(date +%s.%N)
  cmp -s "$prog/daten.bin" "$work/neu/daten.bin" || {
    echo "not installed: $("$loader" reg query 'HKCU\Software\Trelk\Notizkasten' /v UpdateResult </dev/null 2>&1 | tr -d '\r')" >&2
    ls -la "$prog" "$temp" >&2
    exit 1
  }
  seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
}
median() { sort -n | awk '{ v[NR] = $1 } END { printf "%.2f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

written= own= runNumber=0 seconds=
# The first cmd.exe and reg.exe of a fresh prefix start slowly: one run of each first, not counted.
install "$work/server/Updates/Notizkasten.zip"
install "$work/server/Updates/Eigen.zip"
for _ in $(seq "$runs"); do
  install "$work/server/Updates/Notizkasten.zip"
  written+="$seconds"$'\n'
  recorded=$("$loader" reg query 'HKCU\Software\Trelk\Notizkasten' /v UpdateResult </dev/null 2>/dev/null | tr -d '\r' |
    grep UpdateResult)
  install "$work/server/Updates/Eigen.zip"
  own+="$seconds"$'\n'
done
echo "written template (keep, copy, compare, record): $(printf '%s' "$written" | median) s median of $runs"
echo "copying template:                               $(printf '%s' "$own" | median) s median of $runs"
echo "recorded by the written template:${recorded#*REG_SZ}"

# The installation with consent, for the program built with the build's key.
keys="$bin/update-testkey"
"$tool" publish --key "$keys/update-secret.key" --server "$work/signed" --program Notizkasten --from "$work/neu" \
  --file Notizkasten.zip >/dev/null
sha=$(sha256sum "$work/signed/Updates/Notizkasten.zip" | cut -d' ' -f1)
sig=$(tr -d '\r\n' <"$work/signed/Updates.ini.sig")
prog="$work/Programme (x86)/Notizkasten"
usertemp="$WINEPREFIX/drive_c/users/$(whoami)/Temp"
consent() {  # consent HEX: one start with consent; its seconds go into $seconds
  local search="$usertemp/Trelk-Notizkasten-$1"
  rm -rf "$prog" "$search"
  mkdir -p "$prog" "$search"
  cp "$bin/NotizkastenSigniert.exe" "$prog/Notizkasten.exe"
  cp "$work/signed/Updates/Notizkasten.zip" "$search/"
  cp "$work/signed/Updates.ini" "$search/\$A1B2.tmp"
  local start end
  start=$(date +%s.%N)
  local code=0
  "$loader" "$(win "$prog/Notizkasten.exe")" /trelk-install "$(win "$search/")" '$A1B2.tmp' "$sig" "$sha" </dev/null >/dev/null 2>&1 ||
    code=$?
  end=$(date +%s.%N)
  [ "$code" = 0 ] || { echo "the start with consent ended with $code" >&2; exit 1; }
  seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
  # Its batch goes on alone: the next run waits until it has removed its folder.
  for _ in $(seq 100); do [ -e "$WINEPREFIX/drive_c/windows/temp/Trelk-Notizkasten-$1" ] || break; sleep 0.1; done
  cmp -s "$prog/daten.bin" "$work/neu/daten.bin" || { echo "not installed with consent" >&2; exit 1; }
}
refused() {
  local start end
  start=$(date +%s.%N)
  "$loader" "$(win "$prog/Notizkasten.exe")" /trelk-install nichts </dev/null >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
}
withConsent= bare=
consent 00000000
for n in $(seq "$runs"); do
  consent "$(printf %08x "$n")"
  withConsent+="$seconds"$'\n'
  refused
  bare+="$seconds"$'\n'
done
a=$(printf '%s' "$withConsent" | median) b=$(printf '%s' "$bare" | median)
echo "start with consent (copy, check, unpack, batch): $a s median of $runs"
echo "the same program refusing its arguments:        $b s median of $runs"
echo "what the road with consent adds:                $(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", a - b }') s"
