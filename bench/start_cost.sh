#!/usr/bin/env bash
# What the update engine adds to every program's start when no search is due: Notizkasten.exe
# with and without its update component, from process start to the visible main window
# (alternating runs, medians), and AutomaticUpdate itself timed in-process over 1,000 calls.
# Then the settings tool's start (nothing due) against a bare window of its size with the same
# common controls. Under Wine on a virtual display, in a prefix of its own; a program stays open
# the whole time so that Wine's desktop process does not start and end with every run.
#   bash bench/start_cost.sh [RUNS]     (default 9 runs of each; OSTVANE_BENCH_ARCH=x86_64 measures
#                                        the 64-bit build instead of the shipped 32-bit one, as
#                                        does a machine that cannot run the 32-bit one)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-9}
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
[ "$arch" = i686 ] && WINE=$WINE32
# "Update" far in the future: no search is due.
future=$(python3 -c 'import struct; print(struct.pack("<d", 80000.0).hex())')
for key in Notizkasten StartCostBench Ostvane; do
  "$WINE" reg add "HKLM\\Software\\Trelk\\$key" /v Update /t REG_BINARY /d "$future" /f >/dev/null 2>&1
done
(cd "$bin" && "$WINE" NotizkastenBare.exe </dev/null >/dev/null 2>&1 &)
sleep 2
echo "build: $arch"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
# The tool as it ships: without its symbol table (the release strips it, and a program twice the
# size takes longer to load).
shipped="$root/build/bench-start-$arch"
rm -rf "$shipped" && mkdir -p "$shipped"
cp "$bin/start_cost.exe" "$bin/bare_window.exe" "$shipped/"
"$arch-w64-mingw32-strip" -o "$shipped/Kalvor.dll" "$bin/Kalvor.dll"
"$arch-w64-mingw32-strip" -o "$shipped/Brisel.exe" "$bin/Brisel.exe"
(cd "$bin" && "$WINE" start_cost.exe starts "$runs" >"$out" 2>&1 && "$WINE" start_cost.exe automatic 1000 >>"$out" 2>&1 &&
  cd "$shipped" && "$WINE" start_cost.exe tool "$runs" >>"$out" 2>&1) || {
  cat "$out"; exit 1; }
tr -d '\r' <"$out"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
