# Sourced by scripts/screenshots.sh and tests/toolkit/screens.sh: the settings tool on the X
# display walked like a person walks it, with the pixels to click in one place.
#   find_window REGEX          the visible window whose title matches, waiting up to 20 s
#   shot WINDOW FILE           the screen under WINDOW into FILE (a drop-down, a window of its own,
#                              is in the picture too)
#   tool_walk WINDOW STOP      from page 0 of the tool's main window: STOP NAME WINDOW is called
#                              on page0, page1 (the second row selected), page2 and about (the
#                              about dialog, opened through the logo, closed after STOP)
#   tool_cancel WINDOW         "Abbrechen" on the main window: the tool ends

find_window() {
  local w
  for _ in $(seq 100); do
    w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) && [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.2
  done
  echo "screens: no window '$1'" >&2
  return 1
}

shot() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$2"
}

# A click at (x, y) of the window's client area, and the moment the window needs to follow it.
tool_click() { xdotool mousemove --window "$1" "$2" "$3" click 1; sleep 0.7; }

tool_walk() {
  local win=$1 stop=$2 info
  "$stop" page0 "$win"
  tool_click "$win" 557 380   # Weiter >
  tool_click "$win" 320 150   # first row of the list
  tool_click "$win" 320 195   # second row
  "$stop" page1 "$win"
  tool_click "$win" 557 380   # Übernehmen
  "$stop" page2 "$win"
  tool_click "$win" 477 380   # < Zurück
  tool_click "$win" 477 380   # < Zurück
  # A click on the logo (page 0 at (256, 8), logo at (184, 280)) opens the about dialog.
  xdotool mousemove --window "$win" $((256 + 184 + 71)) $((8 + 280 + 20))
  sleep 0.3
  xdotool click 1
  info=$(find_window '^Info über') || return 1
  "$stop" about "$info"
  xdotool key --window "$info" Escape || true
}

tool_cancel() { sleep 0.5; tool_click "$1" 389 380; }
