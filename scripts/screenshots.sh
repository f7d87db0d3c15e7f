#!/usr/bin/env bash
# Pictures of the settings tool for the README: page 0, page 1 with a selected row and its
# open drop-down, and page 2, taken under Wine on a virtual display with a few seeded programs.
# Writes docs/*.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
BUILDS=x86_64 bash "$root/scripts/build.sh"
source "$root/scripts/wine-env.sh"
fresh_prefix "$root/build/wine-shots"
OSTVANE_OWN_DISPLAY=1 start_display
trap stop_all EXIT
start_wine
reg() { "$WINE" reg add "HKLM\\Software\\Trelk\\$1" /f "${@:2}" >/dev/null 2>&1; }
reg Adressmeister
reg Kassenbuch /v UpdateInterval /t REG_DWORD /d 14
reg Lagerfix /v NoUpdate /t REG_SZ /d ""
reg Ostvane /v UpdateInterval /t REG_DWORD /d 1
reg Woerterbuch /v UpdateInterval /t REG_DWORD /d 30
(cd "$root/build/x86_64/bin" && "$WINE" Brisel.exe </dev/null >/dev/null 2>&1 &)
win=
for _ in $(seq 100); do
  win=$(xdotool search --onlyvisible --name '^Trelk-Software Ostvane$' 2>/dev/null | head -1) && [ -n "$win" ] && break
  sleep 0.2
done
[ -n "$win" ] || { echo "screenshots: Brisel.exe did not show its window" >&2; exit 1; }
sleep 1
# The screen under the window, so that the drop-down (a window of its own) is in the picture.
shot() {
  eval "$(xdotool getwindowgeometry --shell "$win")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$root/docs/$1.png"
  echo "docs/$1.png"
}
click() { xdotool mousemove --window "$win" "$1" "$2" click 1; sleep 0.7; }
shot main-window
click 557 380          # Weiter >
click 320 150          # first row of the list
click 320 195          # second row
shot page1-row
click 556 190          # the editor's arrow
shot page1-dropdown
xdotool key Escape; sleep 0.5
click 557 380          # Übernehmen
shot page2
