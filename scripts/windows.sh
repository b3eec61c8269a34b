#!/usr/bin/env bash
# The Windows builds and their tests: installs what is missing, cross-builds the shipped i686
# program (preset win32) and the x86_64 test build (preset win64-test), and runs the Windows
# tests under wine64 against the stand-in DLLs and the Linux zilba-server on 127.0.0.1, on a
# virtual display of their own. Then it packs the shipped program into dist/: a zip and an
# installer. The tested program folder stays in build/win64-test/bin/.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

# The Linux packages (GoogleTest's sources, the server's libraries), then the Windows tools.
# Never wine32: this machine runs 64-bit code only, and wine32 breaks Wine here.
bash scripts/packages.sh
packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 nsis zip unzip)
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
# The shipped program imports nothing that Windows XP SP3 lacks.
bash tests/win32/imports.sh build/win32/bin/ZilbaCompanion.exe
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
# The windows the tests open need a display: a virtual one of their own, for as long as they run.
displayfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
[ -s "$displayfile" ] || { echo "windows.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(cat "$displayfile")
rm -f "$displayfile"
# A Wine server left running in this prefix keeps the display its desktop first met: a new one.
/usr/lib/wine/wineserver -k 2>/dev/null || true
/usr/lib/wine/wineserver -p
trap '/usr/lib/wine/wineserver -k || true; kill $xvfb 2>/dev/null || true' EXIT
# No window manager runs there: Wine then places the windows itself rather than wait for one.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f > /dev/null 2>&1
# No proxy: the tests' requests go straight to 127.0.0.1 (the proxy test sets one for its own
# time, and a run killed meanwhile would leave it for every later request).
/usr/lib/wine/wine64 reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings' /v ProxyEnable /f > /dev/null 2>&1 || true
# Wine's own services start with the first program and stay; started here, they do not hold
# on to the output of the test run that would otherwise start them (ctest would wait for them).
/usr/lib/wine/wine64 cmd /c exit > /dev/null 2>&1 < /dev/null
ctest --preset win64-test

# The packages of the shipped (i686) program: the program alone (the build's folder also holds
# the stand-ins of the tests) with a README of what it needs, as a zip and as an installer.
rm -rf dist && mkdir -p dist/zip
cp build/win32/bin/ZilbaCompanion.exe dist/zip/
sed 's/$/\r/' src/app/win32/installer/README.txt > dist/zip/README.txt
(cd dist/zip && zip -q -X ../ZilbaCompanion-1.00-win32.zip ZilbaCompanion.exe README.txt)
makensis -V2 -DPROGRAM="$PWD/dist/zip/ZilbaCompanion.exe" -DREADME="$PWD/dist/zip/README.txt" \
  -DOUTFILE="$PWD/dist/ZilbaCompanion-1.00-setup.exe" src/app/win32/installer/ZilbaCompanion.nsi
rm -rf dist/zip
bash tests/win32/packages.sh
echo "Windows builds, tests and packages done in $((SECONDS - started)) s; the tested program folder is build/win64-test/bin/, the packages are in dist/"
