#!/usr/bin/env bash
# Runs a Windows test program as wine-run.sh does, on a screen of the given DPI (120 is 125 %
# scaling, 144 is 150 %): Wine takes the screen's DPI from the user's LogPixels when a program
# starts, so it is set before and taken away after. Every program started meanwhile in the
# same prefix gets it too: ctest runs these tests alone (RUN_SERIAL).
#   wine-run-dpi.sh DPI PROGRAM [ARGUMENTS...]
set -euo pipefail
dpi=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$(dirname "$1")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
key='HKCU\Control Panel\Desktop'
/usr/lib/wine/wine64 reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f > /dev/null 2>&1
trap '/usr/lib/wine/wine64 reg delete "$key" /v LogPixels /f > /dev/null 2>&1 || true' EXIT
ZC_TEST_DPI=$dpi "$here/wine-run.sh" "$@"
