#!/usr/bin/env bash
# The transfer over https: httpget beside the platform's own client (WinINet) from the same
# loopback TLS server (Python's ssl, a RAM-backed file), into a file; the time of a 1 KB fetch
# (connection, handshake and certificate check nearly all of it) for both; httpget's peak working
# set for the small and the big file. The server's certificate comes from a test CA that only
# this run trusts: the run goes into a mount namespace of its own where the machine's bundle of
# trusted roots also holds it (root and unshare needed; the host's bundle stays untouched).
# Measures the shipped 32-bit build unless OSTVANE_BENCH_ARCH=x86_64 or the machine cannot run it. Arguments
# go to tls_bench.py (--size-mb, --runs). Run it when the machine is otherwise idle.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${OSTVANE_TLS_BENCH_INSIDE:-}" ]; then
  [ "$(id -u)" = 0 ] || { echo "tls_download.sh: needs root for its private trust store"; exit 1; }
  bash "$root/scripts/setup.sh" >/dev/null
  source "$root/scripts/arch32.sh"
  bench_arch
  BUILDS=$arch bash "$root/scripts/build.sh" >/dev/null
  certs=$(mktemp -d)
  trap 'rm -rf "$certs"' EXIT
  bash "$root/tests/support/testca.sh" "$certs"
  OSTVANE_TLS_BENCH_INSIDE=1 OSTVANE_TLS_BENCH_CERTS=$certs OSTVANE_BENCH_ARCH=$arch \
    unshare -m sh -c 'mount --bind "$0/bundle.crt" /etc/ssl/certs/ca-certificates.crt && exec bash "$@"' \
    "$certs" "$0" "$@"
  exit $?
fi
arch=$OSTVANE_BENCH_ARCH
source "$root/scripts/wine-env.sh"
fresh_prefix "$root/build/wine-bench-tls"
OSTVANE_OWN_DISPLAY=1 start_display
trap stop_all EXIT
source "$root/scripts/arch32.sh"
runnable_arch "$arch" >/dev/null
"$WINESERVER" -p </dev/null >/dev/null 2>&1
"$loader" cmd /c exit </dev/null >/dev/null 2>&1 || true
python3 "$root/bench/tls_bench.py" --bin "$root/build/$arch/bin" --wine "$loader" \
  --cert "$OSTVANE_TLS_BENCH_CERTS/good.pem" "$@"
