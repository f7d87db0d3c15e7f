# Sourced by the scripts: a Wine prefix of the project's own with the German locale, and an
# Xvfb display when there is none. Sets WINEPREFIX, DISPLAY, LC_ALL, WINE and WINESERVER. WINE is
# the 64-bit loader; /usr/bin/wine (WINE32) starts the 32-bit programs where wine32 is installed.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINE=/usr/lib/wine/wine64 WINE32=/usr/bin/wine WINESERVER=/usr/lib/wine/wineserver
export LC_ALL=de_DE.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
template="$root/build/wine-template"

# A template prefix is made once; each run works on a fresh copy of it.
# Wine's own fonts (MS Sans Serif, Tahoma, ...) are only found in the prefix's Fonts folder;
# without them every window font falls back to a much wider Linux font and texts get cut off.
# Made while Wine's 32-bit loader is installed, the prefix serves both builds (its syswow64
# holds the 32-bit system); one made before that starts no 32-bit program and is made again.
make_template() {
  local wow64=yes
  [ -x /usr/lib/wine/wine ] && [ ! -f "$template/drive_c/windows/syswow64/kernel32.dll" ] && wow64=no
  [ -f "$template/system.reg" ] && [ -f "$template/drive_c/windows/Fonts/sserife.fon" ] && [ $wow64 = yes ] && return 0
  echo "wine: creating the template prefix (once)"
  rm -rf "$template"
  WINEPREFIX="$template" "$WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
  WINEPREFIX="$template" "$WINESERVER" -w
  cp /usr/share/wine/fonts/* "$template/drive_c/windows/Fonts/"
}

# fresh_prefix DIR: a new prefix in DIR copied from the template.
fresh_prefix() {
  make_template
  rm -rf "$1"
  cp -a "$template" "$1"
  export WINEPREFIX="$1"
}

# Starts Xvfb on a free display unless one is given (with OSTVANE_OWN_DISPLAY always, on the
# first free one from OSTVANE_FIRST_DISPLAY on); XVFB_PID is set when we started it.
start_display() {
  XVFB_PID=
  if [ -n "${DISPLAY:-}" ] && [ -z "${OSTVANE_OWN_DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local n=${OSTVANE_FIRST_DISPLAY:-77}
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
}

# The wineserver and Wine's services, started once with their output sent away (a test runner
# would otherwise wait forever on the pipe they inherit).
start_wine() {
  "$WINESERVER" -p </dev/null >/dev/null 2>&1
  "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

stop_all() {
  [ -n "${WINEPREFIX:-}" ] && "$WINESERVER" -k >/dev/null 2>&1 || true
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
}
