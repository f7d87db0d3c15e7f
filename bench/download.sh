#!/usr/bin/env bash
# Download benchmark of the HTTP client under Wine, every figure of the transfer in one run:
# httpget beside a bare blocking Winsock loop into NUL and into a file, beside the platform's own
# client (WinINet) into the file, the update wizard's download of a 20 MB archive beside httpget's,
# and the progress display's processor time while 4 MB/s stream in; then peak memory and the CPU
# while waiting, and a closing table of the rows side by side with the machine's load. The server
# is not the bottleneck: a RAM-backed file through Python's http.server (or Debian's nginx with
# --server nginx, which sends the file with sendfile). Builds the programs first (the shipped
# 32-bit build unless OSTVANE_BENCH_ARCH=x86_64 or the machine cannot run it); the figures go to
# stdout. Arguments are passed to download_bench.py (--size-mb, --big-mb, --runs, --wait,
# --server, --no-pin, --no-road, --road-runs, --rate, --no-memory, --raw). About a minute and a
# half with the defaults on an otherwise idle two-core machine. Run it when the machine is
# otherwise idle.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/arch32.sh"
bench_arch
bash "$root/scripts/setup.sh" >/dev/null
BUILDS=$arch bash "$root/scripts/build.sh" >/dev/null
extra=()
if [[ " $* " == *" nginx "* || " $* " == *"--server=nginx"* ]]; then
  nginx=$(command -v nginx || true)
  if [ -z "$nginx" ]; then
    # Debian's program only, unpacked into the build folder: installing the package would also
    # start its service on port 80.
    nginx="$root/build/nginx/usr/sbin/nginx"
    if [ ! -x "$nginx" ]; then
      mkdir -p "$root/build/nginx"
      (cd "$root/build/nginx" && apt-get download nginx >/dev/null 2>&1 &&
        dpkg -x nginx_*.deb . && rm -f nginx_*.deb) || true
    fi
  fi
  [ -x "$nginx" ] || { echo "nginx cannot be had"; exit 1; }
  extra+=(--nginx "$nginx")
fi
source "$root/scripts/wine-env.sh"
fresh_prefix "$root/build/wine-bench"
OSTVANE_OWN_DISPLAY=1 start_display
trap stop_all EXIT
loader=$WINE
[ "$arch" = i686 ] && loader=$WINE32
# The wineserver works for the measured programs: it runs beside them on the second processor
# (download_bench.py puts the web server on the first), so that where it lands does not change
# from one run to the next.
if [[ " $* " != *" --no-pin "* ]] && command -v taskset >/dev/null && [ "$(nproc)" -ge 2 ]; then
  taskset -c 1 "$WINESERVER" -p </dev/null >/dev/null 2>&1
  "$loader" cmd /c exit </dev/null >/dev/null 2>&1 || true
else
  "$WINESERVER" -p </dev/null >/dev/null 2>&1
  "$loader" cmd /c exit </dev/null >/dev/null 2>&1 || true
fi
python3 "$root/bench/download_bench.py" --bin "$root/build/$arch/bin" --wine "$loader" "${extra[@]}" "$@"
