#!/usr/bin/env bash
# Runs a Windows test program under wine64 as on a disk that fills: no file it writes grows past
# LIMIT KiB (`full-disk.sh LIMIT program args`), so a write that reaches it stops part-way and
# the next one fails. Wine's own server starts first, without the limit, so that the registry
# it saves is never cut short (it stays a few seconds; one already running is kept).
set -euo pipefail
limit=$1
shift
build=$(cd "$(dirname "$1")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
/usr/lib/wine/wineserver -p5 2>/dev/null || true
trap '' XFSZ  # the write fails instead of ending the program
ulimit -f "$limit"
export ZC_DISK_FILLS_AT=$((limit * 1024))
exec "$(dirname "$0")/wine-run.sh" "$@"
