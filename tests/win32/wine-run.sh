#!/usr/bin/env bash
# Runs a Windows test program under wine64, in the build's own Wine prefix, without Wine's
# debug output and without the Mono and Gecko installers a fresh prefix would ask for.
set -euo pipefail
build=$(cd "$(dirname "$1")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
# The same locale for every run: the ANSI code page 1252 and the regional formats of en-US.
export LC_ALL=C.UTF-8
exec /usr/lib/wine/wine64 "$@"
