#!/usr/bin/env bash
# wine-run.sh as on a disk that fills: no file grows past LIMIT KiB (`full-disk.sh LIMIT program
# args`). Wine's server starts first, without the limit, so that the registry it saves is whole.
set -euo pipefail
limit=$1
shift
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$1")/.." && pwd)/wineprefix}
/usr/lib/wine/wineserver -p5 2>/dev/null || true
trap '' XFSZ  # the write fails instead of ending the program
ulimit -f "$limit"
export ZC_DISK_FILLS_AT=$((limit * 1024))
exec "$(dirname "$0")/wine-run.sh" "$@"
