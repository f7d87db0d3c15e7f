#!/usr/bin/env bash
# Builds everything and runs every test: the portable logic natively under the sanitizers, then
# all tests of the 64-bit build under Wine (fresh prefix, Xvfb display, German locale), then on
# the shipped 32-bit build the tests that start its programs or load its catalogue and the quick
# in-process suites (label "i686"; OSTVANE_I686_TESTS=all runs every test there too), each
# architecture in a fresh prefix. The last lines say which architectures ran, how long each took and what failed where;
# on a machine that cannot run 32-bit programs they say so, and everything else still runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"
source "$root/scripts/arch32.sh"

summary=()
failed=0
# run_ctest LABEL TREE ARGS...: CTest in build/TREE; its time and failures go to the summary.
run_ctest() {
  local label=$1 tree=$2 rc=0 start=$SECONDS
  shift 2
  ctest --test-dir "$root/build/$tree" --output-on-failure --timeout 300 "$@" || rc=$?
  local line="$label: $((SECONDS - start)) s"
  if [ $rc != 0 ]; then
    failed=1
    line+=", FAILED: $(sed 's/^[0-9]*://' "$root/build/$tree/Testing/Temporary/LastTestsFailed.log" 2>/dev/null | tr '\n' ' ')"
  else
    line+=", passed"
  fi
  summary+=("$line")
}

echo "== native tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
run_ctest "native" native

echo "== Windows tests under Wine: x86_64"
source "$root/scripts/wine-env.sh"
fresh_prefix "$root/build/wine-test"
OSTVANE_OWN_DISPLAY=1 start_display
trap stop_all EXIT
start_wine
run_ctest "x86_64 (64-bit build)" x86_64

if why_not=$(can_test_32bit); then
  echo "== Windows tests under Wine: i686, the shipped 32-bit build"
  "$WINESERVER" -k >/dev/null 2>&1 || true
  "$WINESERVER" -w >/dev/null 2>&1 || true
  fresh_prefix "$root/build/wine-test"
  start_wine
  if [ "${OSTVANE_I686_TESTS:-}" = all ]; then
    run_ctest "i686 (32-bit build, every test)" i686
  else
    run_ctest "i686 (32-bit build: programs, catalogue, quick in-process suites)" i686 -L i686
  fi
  archs="x86_64 and i686"
else
  summary+=("i686 (32-bit build): NOT TESTED: $why_not")
  archs="x86_64 only; the shipped 32-bit build was not tested"
fi

echo "== summary"
printf '%s\n' "${summary[@]}"
echo "architectures tested under Wine: $archs"
exit $failed
