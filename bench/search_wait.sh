#!/usr/bin/env bash
# The settings tool's processor use while "Jetzt nach Updates suchen" waits for a program that
# takes its time to start: Brisel.exe stays open, its row "Kassenbuch" starts a program that
# sleeps before it shows a window, and the search is clicked several times.
# Under Wine on a virtual display, in a prefix of its own; the shipped 32-bit build unless
# OSTVANE_BENCH_ARCH=x86_64 or the machine cannot run it.
#   bash bench/search_wait.sh [RUNS] [DELAY_MS]     (default 5 searches, 4000 ms)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
delay=${2:-4000}
source "$root/scripts/arch32.sh"
bench_arch
BUILDS=$arch bash "$root/scripts/build.sh" >/dev/null
source "$root/scripts/wine-env.sh"
fresh_prefix "$root/build/wine-bench"
OSTVANE_OWN_DISPLAY=1 start_display
out=$(mktemp)
trap 'stop_all; rm -f "$out"' EXIT
start_wine
bin="$root/build/$arch/bin"
# The tool's own reminder lies in the future: no wizard of its own comes first.
future=$(python3 -c 'import struct; print(struct.pack("<d", 80000.0).hex())')
"$loader" reg add "HKLM\\Software\\Trelk\\Ostvane" /v Update /t REG_BINARY /d "$future" /f >/dev/null 2>&1
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
(cd "$bin" && "$loader" search_wait.exe "$runs" "$delay" >"$out" 2>&1) || { tr -d '\r' <"$out"; exit 1; }
tr -d '\r' <"$out"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
