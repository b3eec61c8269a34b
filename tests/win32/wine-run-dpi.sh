#!/usr/bin/env bash
# wine-run.sh on a screen of DPI (120: 125 % scaling, 144: 150 %): Wine reads the user's LogPixels
# when a program starts, so it is set for the run (for the whole prefix: ctest runs it alone).
#   wine-run-dpi.sh DPI PROGRAM [ARGUMENTS...]
set -euo pipefail
dpi=$1
shift
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$1")/.." && pwd)/wineprefix} WINEDEBUG=${WINEDEBUG:--all}
key='HKCU\Control Panel\Desktop'
/usr/lib/wine/wine64 reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f > /dev/null 2>&1
trap '/usr/lib/wine/wine64 reg delete "$key" /v LogPixels /f > /dev/null 2>&1 || true' EXIT
ZC_TEST_DPI=$dpi "$(dirname "$0")/wine-run.sh" "$@"
