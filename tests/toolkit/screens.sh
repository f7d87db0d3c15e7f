#!/usr/bin/env bash
# Pictures of the settings tool's three pages and of the about dialog, taken from the running
# Brisel.exe on the X display as scripts/screens/walk.sh walks it, and compared pixel for pixel
# with the reference pictures beside this script (the animation's corner is left out: it moves).
#   screens.sh take BIN_DIR OUT_DIR      takes the pictures into OUT_DIR
#   screens.sh compare BIN_DIR           takes them into a scratch folder and compares
# Under test.sh the prefix, the display and the wineserver are there already; run alone, the
# script makes its own.
set -euo pipefail
mode=$1 bin=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
own=
if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  source "$root/scripts/wine-env.sh"
  fresh_prefix "$root/build/wine-screens"
  OSTVANE_OWN_DISPLAY=1 start_display
  start_wine
  own=1
fi
WINE=${WINE:-/usr/lib/wine/wine64}
export WINEDEBUG=-all LC_ALL=de_DE.UTF-8
work=$(mktemp -d)
out=${3:-$work/new}
mkdir -p "$out"
out=$(cd "$out" && pwd)
bin=$(cd "$bin" && pwd)
# The 32-bit build starts with Wine's 32-bit loader and keeps its keys in the registry's 32-bit view.
view=() loader=$WINE
case "$bin" in */i686/*) view=(/reg:32) loader=/usr/bin/wine ;; esac
pid=
# The pictures show the tool's windows as Wine leaves them to a window manager (none runs
# here, so they have no title bar), also where the tests run Wine's windows unmanaged.
managed='HKCU\Software\Wine\AppDefaults\Brisel.exe\X11 Driver'
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  "$WINE" reg delete 'HKLM\Software\Trelk' /f "${view[@]}" >/dev/null 2>&1 || true
  "$WINE" reg delete "$managed" /f >/dev/null 2>&1 || true
  [ -n "$own" ] && stop_all
  rm -rf "$work"
}
trap cleanup EXIT

reg() { "$WINE" reg add "HKLM\\Software\\Trelk\\$1" /f "${view[@]}" "${@:2}" >/dev/null 2>&1; }
"$WINE" reg add "$managed" /v Managed /d Y /f >/dev/null 2>&1
"$WINE" reg delete 'HKLM\Software\Trelk' /f "${view[@]}" >/dev/null 2>&1 || true
reg Adressmeister
reg Kassenbuch /v UpdateInterval /t REG_DWORD /d 14
reg Lagerfix /v NoUpdate /t REG_SZ /d ""
reg Ostvane /v UpdateInterval /t REG_DWORD /d 1
# The tool's own reminder a long way ahead: its update wizard does not come first.
reg Ostvane /v Update /t REG_BINARY /d 000000000088f340
reg Woerterbuch /v UpdateInterval /t REG_DWORD /d 30

cd "$bin"
"$loader" Brisel.exe </dev/null >/dev/null 2>&1 &
pid=$!
source "$root/scripts/screens/walk.sh"
win=$(find_window '^Trelk-Software Ostvane$')
away() { xdotool mousemove 1020 764; sleep 0.8; }
# Each stop of the walk: the pointer away from the window, then its picture.
stop() { away; shot "$2" "$out/$1.png"; }
sleep 1.5
tool_walk "$win" stop
tool_cancel "$win"
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
pid=

[ "$mode" = take ] && exit 0
status=0
for name in page0 page1 page2 about; do
  ref="$here/screens/$name.png" new="$out/$name.png"
  if [ "$name" != about ]; then  # the animation at (8, 362), 38 x 38
    for f in "$ref" "$new"; do
      convert "$f" -fill black -draw 'rectangle 8,362 45,399' "$work/masked-$(basename "$(dirname "$f")")-$name.png"
    done
    ref="$work/masked-screens-$name.png" new="$work/masked-new-$name.png"
  fi
  diff=$(compare -metric AE "$ref" "$new" null: 2>&1) || true
  if [ "$diff" = 0 ]; then
    echo "screens: $name identical"
  else
    echo "screens: $name differs in $diff pixels" >&2
    cp "$out/$name.png" "$root/build/screens-$name-new.png" 2>/dev/null || true
    status=1
  fi
done
exit $status
