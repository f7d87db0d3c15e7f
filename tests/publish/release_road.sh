#!/usr/bin/env bash
# release_road.sh ROOT BRISEL_TESTS ARCH EMULATOR...: the release as it ships. scripts/release.sh
# builds Brisel.exe and Kalvor.dll of ARCH (i686, the shipped build; x86_64 only where this
# machine runs no 32-bit program) with the test key of the tree beside BRISEL_TESTS
# (bin/update-testkey) and publishes them with its news and a short wait for files in use; the
# maker's server on 127.0.0.1 then serves the published folder, and BriselRelease in BRISEL_TESTS
# installs an older copy of the released tool in a folder of its own and lets it take the update
# through its own wizard: once with its Kalvor.dll held open, once clean.
set -euo pipefail
root=$1 tests=$2 arch=$3
shift 3
emulator=("$@")
if [ "$arch" = x86_64 ]; then
  source "$root/scripts/arch32.sh"
  if can_test_32bit >/dev/null; then
    echo "release_road: the 32-bit tree walks the road with the shipped build"
    exit 77
  fi
fi
bin=$(dirname "$tests")
key="$bin/update-testkey/update-secret.key"
tool="$root/build/native/bin/trelkpublish"
if [ ! -x "$tool" ] || [ ! -f "$key" ]; then
  echo "release_road: needs build/native and the test key of the 32-bit tree (bash scripts/build.sh builds both)"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "release_road: $*" >&2; exit 1; }

TRELKPUBLISH="$tool" bash "$root/scripts/release.sh" "$work/server" --key "$key" --news "Version aus dem Test" \
  --arch "$arch" --wait 8 >"$work/release.log" 2>&1 || { cat "$work/release.log"; fail "release.sh failed"; }
released="$root/build/release-$arch/bin"
grep -q "building Brisel.exe and Kalvor.dll ($arch) with the public key $(tr -d ' \r\n' <"$bin/update-testkey/update-public.key")" \
  "$work/release.log" || { cat "$work/release.log"; fail "the release was not built with the test key"; }

win() { printf 'Z:%s' "$1" | tr / '\\'; }
export OSTVANE_RELEASE_BIN
OSTVANE_RELEASE_BIN=$(win "$released")
rc=0
bash "$root/tests/support/run_with_server.sh" --files \
  bash -c 'cp -r "$1"/. "$TEST_SERVER_ROOT"/ && shift && exec "$@"' publish "$work/server" \
  "${emulator[@]}" "$tests" --gtest_filter='BriselRelease.*' --gtest_color=no >"$work/road.log" 2>&1 || rc=$?
cat "$work/road.log"
[ $rc = 0 ] || fail "the released tool did not take its update"
grep -q '^\[  PASSED  \] 2 tests' "$work/road.log" && ! grep -q '^\[  SKIPPED' "$work/road.log" ||
  fail "the road was not walked"
echo "release_road: the released tool ($arch) updated itself through its own wizard, and kept its folder when a file stayed in use"
