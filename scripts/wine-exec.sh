#!/bin/sh
# wine-exec.sh LOADER PROGRAM ARGS...: how the Windows trees start their test programs (their
# CMake emulator): Wine's LOADER with the German locale, in the prefix that OSTVANE_WINEPREFIX
# names, build/wine-test when it names none (scripts/test.sh runs two prefixes side by side).
root=$(cd "$(dirname "$0")/.." && pwd)
WINEPREFIX=${OSTVANE_WINEPREFIX:-$root/build/wine-test}
WINEDEBUG=-all
LC_ALL=de_DE.UTF-8
export WINEPREFIX WINEDEBUG LC_ALL
exec "$@"
