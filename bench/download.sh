#!/usr/bin/env bash
# Download benchmark of the HTTP client under Wine: throughput beside a bare Winsock loop and
# curl, peak memory, CPU while waiting. Builds the x86_64 programs first; the figures go to
# stdout. Arguments are passed to download_bench.py (--size-mb, --big-mb, --runs, --wait).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
BUILDS=x86_64 bash "$root/scripts/build.sh" >/dev/null
source "$root/scripts/wine-env.sh"
fresh_prefix "$root/build/wine-bench"
trap stop_all EXIT
start_wine
python3 "$root/bench/download_bench.py" --bin "$root/build/x86_64/bin" --wine "$WINE" "$@"
