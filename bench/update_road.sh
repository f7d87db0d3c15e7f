#!/usr/bin/env bash
# The road of one update for a 20 MB archive from the loopback server without throttling:
# Notizkasten.exe's wizard from "Jetzt auf neue Updates prüfen" to the result page and from
# "Weiter >" there to the complete download, beside httpget.exe fetching the same files in the
# same run (road_bench.exe, alternating runs, medians), with the wizard's CPU while the bytes
# stream in. Under Wine on a virtual display, in a prefix of its own; desktop_keeper.exe keeps
# Wine's desktop process up, the server (Python's http.server, serving from memory) runs on the
# first processor and the wineserver beside the programs on the second. The shipped 32-bit build
# unless OSTVANE_BENCH_ARCH=x86_64 or the machine cannot run it.
#   bash bench/update_road.sh [RUNS]     (default 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
source "$root/scripts/arch32.sh"
bench_arch
BUILDS=$arch bash "$root/scripts/build.sh" >/dev/null
source "$root/scripts/wine-env.sh"
fresh_prefix "$root/build/wine-bench-road"
OSTVANE_OWN_DISPLAY=1 start_display
work=$(mktemp -d /dev/shm/road.XXXXXX 2>/dev/null || mktemp -d)
server= keeper=
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null || true
  [ -n "$keeper" ] && kill "$keeper" 2>/dev/null || true
  stop_all
  rm -rf "$work"
}
trap cleanup EXIT
# Runs a command on one processor when the machine has two (exec: the caller's $! is its pid).
pin() { if command -v taskset >/dev/null && [ "$(nproc)" -ge 2 ]; then exec taskset -c "$1" "${@:2}"; else exec "${@:2}"; fi; }
(pin 1 "$WINESERVER" -p </dev/null >/dev/null 2>&1)
"$loader" cmd /c exit </dev/null >/dev/null 2>&1 || true
bin="$root/build/$arch/bin"

# The server's folder, the installed program (ten days old) and its temporary folder.
python3 "$root/scripts/make_road.py" "$work" "$bin"

(pin 0 python3 "$root/tests/support/testserver.py" --root "$work/root" --port-file "$work/port" --lifetime 3600 \
  </dev/null >"$work/server.log" 2>&1) &
server=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
[ -s "$work/port" ] || { cat "$work/server.log"; exit 1; }
(cd "$bin" && exec "$loader" desktop_keeper.exe 3600 </dev/null >/dev/null 2>&1) &
keeper=$!
sleep 2
winpath() { echo "Z:${1//\//\\}"; }
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
out="$work/out.txt"
(cd "$bin" && "$loader" road_bench.exe "$runs" "127.0.0.1:$(cut -d" " -f1 "$work/port")" "$(winpath "$work/prog/Notizkasten.exe")" \
  "$(winpath "$work/temp")\\" >"$out" 2>&1) || { tr -d '\r' <"$out"; exit 1; }
(cd "$bin" && "$loader" road_bench.exe display "127.0.0.1:$(cut -d" " -f1 "$work/port")" "$(winpath "$work/temp")\\" 4000000 \
  >>"$out" 2>&1) || { tr -d '\r' <"$out"; exit 1; }
tr -d '\r' <"$out"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
