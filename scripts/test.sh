#!/usr/bin/env bash
# Builds everything and runs every test: the portable logic natively under the sanitizers, then
# all tests of the 64-bit build under Wine, then on the shipped 32-bit build the tests that start
# its programs or load its catalogue and the quick in-process suites (label "i686";
# OSTVANE_I686_TESTS=all runs every test there too). Each architecture's tests run in two lanes
# side by side, each lane in a fresh Wine prefix of its own (its own wineserver and registry)
# with an Xvfb display of its own and the German locale, so that no two tests share keys,
# windows or a screen; Wine's windows there are unmanaged (no window manager to wait for). The last lines say which architectures ran, how long each lane and each
# architecture took and what failed where; on a machine that cannot run 32-bit programs they
# say so, and everything else still runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/build.sh"
source "$root/scripts/arch32.sh"

# Lane "a" runs these tests, lane "b" every other one: the long suites spread so that both
# lanes take about as long.
lane_a='^(examples_road_tests|net_tests|brisel_tests|engine_tests|release_test)$'

summary=()
logs=()  # every CTest output of this call, for the closing count
failed=0
# run_ctest LABEL TREE ARGS...: CTest in build/TREE; its time and failures go to the summary.
run_ctest() {
  local label=$1 tree=$2 rc=0 start=$SECONDS
  shift 2
  ctest --test-dir "$root/build/$tree" --output-on-failure --timeout 300 "$@" >"$root/build/ctest-$tree.log" 2>&1 ||
    rc=$?
  cat "$root/build/ctest-$tree.log"
  logs+=("$root/build/ctest-$tree.log")
  local line="$label: $((SECONDS - start)) s"
  if [ $rc != 0 ]; then
    failed=1
    line+=", FAILED: $(sed 's/^[0-9]*://' "$root/build/$tree/Testing/Temporary/LastTestsFailed.log" 2>/dev/null | tr '\n' ' ')"
  else
    line+=", passed"
  fi
  summary+=("$line")
}

# lane NAME TREE DISPLAY CTEST_ARGS...: one lane's tests in its own prefix (build/wine-NAME) and
# on its own display (the first free one from DISPLAY on); the output goes to
# build/lane-NAME.log, the time to build/lane-NAME.time, and the exit code is CTest's.
lane() {
  local name=$1 tree=$2 display=$3 start=$SECONDS rc=0
  shift 3
  (
    source "$root/scripts/wine-env.sh"
    fresh_prefix "$root/build/wine-$name"
    export OSTVANE_WINEPREFIX=$WINEPREFIX
    OSTVANE_OWN_DISPLAY=1 OSTVANE_FIRST_DISPLAY=$display start_display
    trap stop_all EXIT
    start_wine
    # Windows left to a window manager wait up to 2 s for one at every hide, and none runs on
    # Xvfb: the lanes' windows are unmanaged (tests/toolkit/screens.sh takes its pictures of
    # managed ones).
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    ctest --test-dir "$root/build/$tree" --output-on-failure --timeout 300 "$@"
  ) >"$root/build/lane-$name.log" 2>&1 || rc=$?
  echo $((SECONDS - start)) >"$root/build/lane-$name.time"
  return $rc
}

# run_lanes LABEL TREE CTEST_ARGS...: both lanes of TREE side by side; their times and failures
# go to the summary, their output follows each other.
run_lanes() {
  local label=$1 tree=$2 start=$SECONDS rc_a=0 rc_b=0
  shift 2
  (source "$root/scripts/wine-env.sh" && make_template)  # once, before both lanes copy it
  lane "$tree-a" "$tree" 80 -R "$lane_a" "$@" &
  local pid_a=$!
  lane "$tree-b" "$tree" 90 -E "$lane_a" "$@" &
  local pid_b=$!
  wait $pid_a || rc_a=$?
  wait $pid_b || rc_b=$?
  local line="$label: $((SECONDS - start)) s" n rc
  for n in a b; do
    logs+=("$root/build/lane-$tree-$n.log")
    echo "== lane $tree-$n"
    cat "$root/build/lane-$tree-$n.log"
    rc=$rc_a
    [ $n = b ] && rc=$rc_b
    line+="; lane $n $(cat "$root/build/lane-$tree-$n.time") s"
    if [ "$rc" != 0 ]; then
      failed=1
      line+=", FAILED: $(sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) .*/\1/p' "$root/build/lane-$tree-$n.log" | tr '\n' ' ')"
    else
      line+=", passed"
    fi
  done
  summary+=("$line")
}

echo "== native tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
run_ctest "native" native

echo "== Windows tests under Wine: x86_64"
run_lanes "x86_64 (64-bit build)" x86_64

if why_not=$(can_test_32bit); then
  echo "== Windows tests under Wine: i686, the shipped 32-bit build"
  if [ "${OSTVANE_I686_TESTS:-}" = all ]; then
    run_lanes "i686 (32-bit build, every test)" i686
  else
    run_lanes "i686 (32-bit build: programs, catalogue, quick in-process suites)" i686 -L i686
  fi
  archs="x86_64 and i686"
else
  summary+=("i686 (32-bit build): NOT TESTED: $why_not")
  archs="x86_64 only; the shipped 32-bit build was not tested"
fi

echo "== summary"
printf '%s\n' "${summary[@]}"
echo "architectures tested under Wine: $archs"
# The suites' counts over every run of this call, from CTest's closing line in each output.
passed=0 failures=0
for log in "${logs[@]}"; do
  read -r p f < <(sed -n 's/.* tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2 \1/p' "$log" | tail -n 1 |
    awk '{print $1 - $2, $2}')
  passed=$((passed + ${p:-0})) failures=$((failures + ${f:-0}))
done
echo "suites: $passed passed, $failures failed"
exit $failed
