#!/usr/bin/env bash
# Runs a Windows test program under wine64 in the build's own prefix; a 32-bit one in Wine's
# WoW64 mode, with the 32-bit DLLs scripts/wow64.sh keeps in build/wine32.
set -euo pipefail
build=$(cd "$(dirname "$1")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# The PE header's machine: 014c is i386.
pe=$(od -An -tu4 -j 60 -N 4 "$1" | xargs)
if [ "$(od -An -tx1 -j $((pe + 4)) -N 2 "$1" | xargs)" = "4c 01" ]; then
  export WINEDLLPATH=${WINEDLLPATH:-$(dirname "$build")/wine32}
  # Without them a 32-bit program prints nothing and ends with 0, as if it had passed.
  [ -d "$WINEDLLPATH/i386-windows" ] || { echo "wine-run.sh: no 32-bit Wine DLLs in $WINEDLLPATH (scripts/wow64.sh)" >&2; exit 1; }
fi
# ZC_DISK_FILLS_AT (bytes): no file grows past it, as on a disk that fills there; Wine's server
# starts first, without the limit, so that the registry it saves is whole.
if [ -n "${ZC_DISK_FILLS_AT:-}" ]; then
  /usr/lib/wine/wineserver -p5 2>/dev/null || true
  trap '' XFSZ
  ulimit -f $((ZC_DISK_FILLS_AT / 1024))
fi
# The same locale for every run: the ANSI code page 1252 and the regional formats of en-US.
export LC_ALL=C.UTF-8
[ -n "${ZC_TEST_DPI:-}" ] || exec /usr/lib/wine/wine64 "$@"
# ZC_TEST_DPI: a screen of that DPI, for the run (the whole prefix's: run it alone).
key='HKCU\Control Panel\Desktop'
/usr/lib/wine/wine64 reg add "$key" /v LogPixels /t REG_DWORD /d "$ZC_TEST_DPI" /f > /dev/null 2>&1
trap '/usr/lib/wine/wine64 reg delete "$key" /v LogPixels /f > /dev/null 2>&1 || true' EXIT
/usr/lib/wine/wine64 "$@"
