#!/usr/bin/env bash
# Builds the settings tool and starts it: on Windows directly, here under Wine with the German
# locale in the project's own prefix: the shipped 32-bit build, or the 64-bit one where this
# machine cannot run 32-bit programs (it says so). Without a display it starts Xvfb, saves a
# screenshot and prints where it is.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
source "$root/scripts/arch32.sh"
runnable_arch i686
BUILDS=$arch bash "$root/scripts/build.sh"
source "$root/scripts/wine-env.sh"
export WINEPREFIX="$root/build/wine-run"
# A prefix made before Wine's 32-bit loader was installed starts no 32-bit program.
[ -f "$WINEPREFIX/drive_c/windows/Fonts/sserife.fon" ] &&
  { [ "$arch" = x86_64 ] || [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; } ||
  fresh_prefix "$WINEPREFIX"
tool="$root/build/$arch/bin/Brisel.exe"
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$loader" "$tool"
fi
OSTVANE_OWN_DISPLAY=1 start_display
trap stop_all EXIT
start_wine
"$loader" "$tool" </dev/null >/dev/null 2>&1 &
shot="$root/build/screenshot.png"
for _ in $(seq 100); do
  # The tool's own update wizard comes first when its reminder is due.
  xdotool search --onlyvisible --name '^(Trelk-Software Ostvane|Updates installieren)$' >/dev/null 2>&1 && break
  sleep 0.2
done
sleep 1
import -window root "$shot"
echo "Brisel.exe ($arch) runs on the virtual display $DISPLAY; screenshot: $shot"
"$WINESERVER" -k >/dev/null 2>&1 || true
