#!/usr/bin/env bash
# The Windows builds and their tests: installs what is missing, cross-builds the shipped i686
# program (preset win32) and the x86_64 test build (preset win64-test), and runs the Windows
# tests under wine64 against the stand-in DLLs and the Linux zilba-server on 127.0.0.1.
# The tested program folder stays in build/win64-test/bin/.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

# The Linux packages (GoogleTest's sources, the server's libraries), then the Windows tools.
# Never wine32: this machine runs 64-bit code only, and wine32 breaks Wine here.
bash scripts/packages.sh
packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ]; then sudo=(); else sudo=(sudo); fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update
  "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The stand-in web server, from the Linux build.
cmake --preset ci
cmake --build --preset ci --target zilba-server

cmake --preset win32
cmake --build --preset win32
cmake --preset win64-test
cmake --build --preset win64-test

# One Wine prefix for the tests, and one persistent Wine server for all of them: a test
# program then starts in a tenth of a second instead of seconds.
export WINEPREFIX=$PWD/build/win64-test/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # A 64-bit-only Wine reports the 32-bit part of the new prefix as missing; the prefix is
  # made all the same.
  /usr/lib/wine/wine64 wineboot -i || true
  /usr/lib/wine/wineserver -w
  [ -f "$WINEPREFIX/system.reg" ] || { echo "windows.sh: cannot make the Wine prefix $WINEPREFIX" >&2; exit 1; }
fi
/usr/lib/wine/wineserver -p
trap '/usr/lib/wine/wineserver -k || true' EXIT
# Wine's own services start with the first program and stay; started here, they do not hold
# on to the output of the test run that would otherwise start them (ctest would wait for them).
/usr/lib/wine/wine64 cmd /c exit > /dev/null 2>&1 < /dev/null
ctest --preset win64-test
echo "Windows builds and tests done in $((SECONDS - started)) s; the tested program folder is build/win64-test/bin/"
