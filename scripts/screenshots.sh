#!/usr/bin/env bash
# Pictures of the settings tool for the README, taken under Wine on a virtual display with a few
# seeded programs: the tool's own update wizard (its welcome, settings and check pages, as the
# tool's first start shows it; the later pages through wizard_pages.exe), and the tool walked as
# scripts/screens/walk.sh walks it for the tests' reference pictures: page 0 with the logo and
# the animation, three animation frames, page 1 with a selected row and its open drop-down,
# page 2, and the about dialog. Writes docs/*.png. The pictures show the shipped 32-bit build
# (build/i686), started with Wine's 32-bit loader; its keys live in the registry's 32-bit view.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
BUILDS=i686 bash "$root/scripts/build.sh"
source "$root/scripts/arch32.sh"
why_not=$(can_test_32bit) || { echo "screenshots: the pictures come from the 32-bit build, but $why_not" >&2; exit 1; }
bin="$root/build/i686/bin"
source "$root/scripts/wine-env.sh"
fresh_prefix "$root/build/wine-shots"
OSTVANE_OWN_DISPLAY=1 start_display
work=$(mktemp -d)
trap 'stop_all; rm -rf "$work"' EXIT
start_wine
reg() { "$WINE" reg add "HKLM\\Software\\Trelk\\$1" /f /reg:32 "${@:2}" >/dev/null 2>&1; }
reg Adressmeister
reg Kassenbuch /v UpdateInterval /t REG_DWORD /d 14
reg Lagerfix /v NoUpdate /t REG_SZ /d ""
reg Ostvane /v UpdateInterval /t REG_DWORD /d 1
reg Woerterbuch /v UpdateInterval /t REG_DWORD /d 30
(cd "$bin" && "$WINE32" Brisel.exe </dev/null >/dev/null 2>&1 &)
source "$root/scripts/screens/walk.sh"
wait_window() { find_window "$1" || exit 1; }

# The tool's first start: its own reminder is due, so its update wizard comes first.
wiz=$(wait_window '^Updates installieren$')
sleep 1.5
wclick() { tool_click "$wiz" "$1" "$2"; }
# picture WINDOW NAME: docs/NAME.png
picture() { shot "$1" "$root/docs/$2.png"; echo "docs/$2.png"; }
wclick 600 200         # a neutral spot: the first click on a window only activates it
picture "$wiz" wizard-welcome
wclick 288 332         # Einstellungen
picture "$wiz" wizard-settings
wclick 503 332         # Abbrechen on the settings page
wclick 597 332         # Weiter >
picture "$wiz" wizard-check
wclick 503 332         # Abbrechen: the wizard closes, the main window follows

win=$(wait_window '^Trelk-Software Ostvane$')
sleep 2
# The stops of the tool's walk: page 0 with the logo and three animation frames, page 1 with a
# selected row and its open drop-down, page 2, the about dialog with the web address underlined.
stop() {
  local name=$1 w=$2 X Y WIDTH HEIGHT SCREEN WINDOW
  case $name in
    page0)
      picture "$w" page0-logo
      eval "$(xdotool getwindowgeometry --shell "$w")"
      # The animation at (8, 362): grab frames until three of clearly different widths are found.
      for i in $(seq 0 19); do
        import -window root -crop "38x38+$((X + 8))+$((Y + 362))" +repage "$work/frame-$i.png"
      done
      local pick=() want best bestd width d
      for want in 36 24 14; do
        best= bestd=99
        for i in $(seq 0 19); do
          width=$(convert "$work/frame-$i.png" -fuzz 2% -trim -format '%w' info:)
          d=$((width > want ? width - want : want - width))
          [ "$d" -lt "$bestd" ] && { best=$i; bestd=$d; }
        done
        convert "$work/frame-$best.png" -scale 300% -bordercolor '#f0f0f0' -border 6 "$work/big-$want.png"
        pick+=("$work/big-$want.png")
      done
      convert "${pick[@]}" +append "$root/docs/animation-frames.png"
      echo "docs/animation-frames.png"
      ;;
    page1)
      picture "$w" page1-row
      tool_click "$w" 556 190   # the editor's arrow
      picture "$w" page1-dropdown
      tool_click "$w" 556 190   # the arrow again closes it
      ;;
    page2) picture "$w" page2 ;;
    about)
      eval "$(xdotool getwindowgeometry --shell "$w")"
      # The pointer on the web address (right-aligned at 429, 113) underlines it.
      xdotool mousemove $((X + 429 - 40)) $((Y + 113 + 6))
      sleep 0.7
      picture "$w" about-dialog
      ;;
  esac
}
tool_walk "$win" stop

# The wizard's later pages, walked to by wizard_pages.exe with the steps' work played by it.
for page in result-none result-update install finish refused-signature; do
  (cd "$bin" && "$WINE32" wizard_pages.exe "$page" </dev/null >/dev/null 2>&1 &)
  sleep 1
  pages=$(wait_window '^Updates installieren$')
  sleep 2.5
  picture "$pages" "wizard-$page"
  sleep 3
done

# The download page mid-way, from the real road: Notizkasten.exe against the maker's web server
# on 127.0.0.1 (a staging folder of scripts/make_road.py), the 20 MB archive throttled to 3 MB/s.
road="$work/road"
python3 "$root/scripts/make_road.py" "$road" "$bin" >/dev/null
python3 "$root/tests/support/testserver.py" --root "$road/root" --port-file "$road/port" --lifetime 300 \
  </dev/null >/dev/null 2>&1 &
server=$!
for _ in $(seq 100); do [ -s "$road/port" ] && break; sleep 0.05; done
port=$(cut -d" " -f1 "$road/port")
curl -s "http://127.0.0.1:$port/_mode?path=/Updates/Notizkasten.zip&rate=3000000" >/dev/null
"$WINE" reg delete 'HKLM\Software\Trelk\Notizkasten' /f /reg:32 >/dev/null 2>&1 || true
roadtemp="Z:${road//\//\\}\\temp"
(cd "$road/prog" && TRELK_UPDATE_SERVER="127.0.0.1:$port" TMP="$roadtemp" TEMP="$roadtemp" \
  "$WINE32" Notizkasten.exe </dev/null >/dev/null 2>&1 &)
wiz=$(wait_window '^Updates installieren$')
sleep 1.5
wclick 600 200         # a neutral spot
wclick 597 332         # Weiter >
wclick 332 164         # Jetzt auf neue Updates prüfen
sleep 1
wclick 597 332         # Weiter >: the download begins
sleep 2.5
picture "$wiz" wizard-download
kill "$server" 2>/dev/null || true
