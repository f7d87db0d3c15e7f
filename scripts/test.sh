#!/usr/bin/env bash
# Builds everything and runs every test: the portable logic natively under the sanitizers, then
# all tests under Wine (fresh prefix, Xvfb display, German locale), ending with CTest's summary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"

echo "== native tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
native_rc=0
ctest --test-dir "$root/build/native" --output-on-failure --timeout 300 || native_rc=$?

echo "== Windows tests under Wine"
source "$root/scripts/wine-env.sh"
fresh_prefix "$root/build/wine-test"
OSTVANE_OWN_DISPLAY=1 start_display
trap stop_all EXIT
start_wine
wine_rc=0
ctest --test-dir "$root/build/x86_64" --output-on-failure --timeout 300 || wine_rc=$?
[ $native_rc = 0 ] && [ $wine_rc = 0 ]
