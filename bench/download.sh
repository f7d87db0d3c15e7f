#!/usr/bin/env bash
# Download benchmark of the HTTP client under Wine: httpget beside a bare blocking Winsock loop,
# into NUL and into a file, from a server that is not the bottleneck: a RAM-backed file through
# Debian's nginx (it sends the file with sendfile and so leaves the processor to the clients), or
# through Python's http.server with --server python or when nginx cannot be had; peak memory;
# CPU while waiting. Builds the x86_64 programs first; the figures go to stdout. Arguments are
# passed to download_bench.py (--size-mb, --big-mb, --runs, --wait, --server, --no-pin). Run it
# when the machine is otherwise idle.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
BUILDS=x86_64 bash "$root/scripts/build.sh" >/dev/null
extra=()
if [[ " $* " != *" python "* && " $* " != *"--server=python"* ]]; then
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
  if [ -x "$nginx" ]; then
    [[ " $* " == *" nginx "* ]] || extra=(--server nginx)
    extra+=(--nginx "$nginx")
  else
    echo "nginx cannot be had: Python's http.server serves instead"
  fi
fi
source "$root/scripts/wine-env.sh"
fresh_prefix "$root/build/wine-bench"
start_display
trap stop_all EXIT
# The wineserver works for the measured programs: it runs beside them on the second processor
# (download_bench.py puts the web server on the first), so that where it lands does not change
# from one run to the next.
if [[ " $* " != *" --no-pin "* ]] && command -v taskset >/dev/null && [ "$(nproc)" -ge 2 ]; then
  taskset -c 1 "$WINESERVER" -p </dev/null >/dev/null 2>&1
  "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
else
  start_wine
fi
python3 "$root/bench/download_bench.py" --bin "$root/build/x86_64/bin" --wine "$WINE" "${extra[@]}" "$@"
