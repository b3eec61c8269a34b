#!/usr/bin/env bash
# The Windows builds and their tests: installs what is missing, cross-builds the shipped i686
# program (preset win32) and runs the Windows tests under wine64 against it and the i686 stand-in
# DLLs, in Wine's WoW64 mode with the 32-bit DLLs of the installed Wine (scripts/wow64.sh),
# and the Linux zilba-server on 127.0.0.1, on a virtual display of their own. Then it packs the
# shipped program into dist/, a zip and an installer, and runs the installer. While this Wine
# draws nothing for a 32-bit program, the tests of the windows run against the x86_64 build of
# the same sources instead (preset win64-test). The tested program folder is build/win32/bin/.
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

# The 32-bit half of Wine for the i686 programs (never wine32: it breaks Wine here).
wine32=$PWD/build/wine32
bash scripts/wow64.sh "$wine32"

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
# The windows the tests open need a display: a virtual one of their own, for as long as they run.
displayfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
xvfb=$!
prefixes=()
stop() {
  for p in "${prefixes[@]}"; do WINEPREFIX=$p /usr/lib/wine/wineserver -k 2>/dev/null || true; done
  kill $xvfb 2>/dev/null || true
}
trap stop EXIT
for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
[ -s "$displayfile" ] || { echo "windows.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(cat "$displayfile")
rm -f "$displayfile"

# `wine_in PREFIX [DLLS]`: Wine runs in PREFIX from here on, 32-bit programs with the DLLs of
# DLLS. The prefix is made when missing, or when made with other 32-bit DLLs (an existing one is
# not mended), and gets one persistent Wine server: a test program then starts in a tenth of a
# second instead of seconds.
wine_in() {
  export WINEPREFIX=$1
  if [ -n "${2:-}" ]; then export WINEDLLPATH=$2; else unset WINEDLLPATH; fi
  local dlls=""
  [ -z "${2:-}" ] || dlls=$(cat "$2/version")
  if [ ! -f "$WINEPREFIX/system.reg" ] || [ "$(cat "$WINEPREFIX/wow64-dlls" 2>/dev/null)" != "$dlls" ]; then
    rm -rf "$WINEPREFIX"
    # Without 32-bit DLLs Wine reports the 32-bit part of the new prefix as missing; the prefix
    # is made all the same.
    /usr/lib/wine/wine64 wineboot -i > /dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w
    [ -f "$WINEPREFIX/system.reg" ] || { echo "windows.sh: cannot make the Wine prefix $WINEPREFIX" >&2; exit 1; }
    echo "$dlls" > "$WINEPREFIX/wow64-dlls"
  fi
  # A Wine server left running in this prefix keeps the display its desktop first met: a new one.
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  /usr/lib/wine/wineserver -w  # gone, before the new one starts
  /usr/lib/wine/wineserver -p
  prefixes+=("$WINEPREFIX")
  # No window manager runs there: Wine then places the windows itself rather than wait for one.
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f > /dev/null 2>&1
  # A crash ends the program with its backtrace on stderr, instead of a dialog that waits.
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f > /dev/null 2>&1
  # No proxy: the tests' requests go straight to 127.0.0.1 (the proxy test sets one for its own
  # time, and a run killed meanwhile would leave it for every later request).
  /usr/lib/wine/wine64 reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings' /v ProxyEnable /f > /dev/null 2>&1 || true
  # Wine's own services start with the first program and stay; started here, they do not hold
  # on to the output of the test run that would otherwise start them (ctest would wait for them).
  /usr/lib/wine/wine64 cmd /c exit > /dev/null 2>&1 < /dev/null
}

# Every test against the shipped i686 program and the i686 stand-ins, but those of the windows
# when this Wine draws nothing for a 32-bit program (Wine 8.0 does not, docs/WINDOWS.md).
wine_in "$PWD/build/win32/wineprefix" "$wine32"
if /usr/lib/wine/wine64 build/win32/bin/drawing-probe.exe metrics > /dev/null 2>&1; then
  draws=yes
  ctest --preset win32
else
  draws=no
  echo "This Wine draws nothing for a 32-bit program: the tests of the windows run against the x86_64 build"
  ctest --preset win32 -LE windows
fi

# The packages of the shipped (i686) program: the program alone (the build's folder also holds
# the stand-ins of the tests) with a README of what it needs, as a zip and as an installer.
rm -rf dist && mkdir -p dist/zip
cp build/win32/bin/ZilbaCompanion.exe dist/zip/
# The shipped program imports nothing that Windows XP SP3 lacks.
bash tests/win32/imports.sh dist/zip/ZilbaCompanion.exe
sed 's/$/\r/' src/shells/win32/installer/README.txt > dist/zip/README.txt
(cd dist/zip && zip -q -X ../ZilbaCompanion-1.00-win32.zip ZilbaCompanion.exe README.txt)
makensis -V2 -DPROGRAM="$PWD/dist/zip/ZilbaCompanion.exe" -DREADME="$PWD/dist/zip/README.txt" \
  -DOUTFILE="$PWD/dist/ZilbaCompanion-1.00-setup.exe" src/shells/win32/installer/ZilbaCompanion.nsi
rm -rf dist/zip
bash tests/win32/packages.sh

# The tests of the windows, drawn, against the x86_64 build of the same sources.
if [ $draws = no ]; then
  cmake --preset win64-test
  cmake --build --preset win64-test
  wine_in "$PWD/build/win64-test/wineprefix"
  ctest --preset win64-test
fi
echo "Windows builds, tests and packages done in $((SECONDS - started)) s; the tested program folder is build/win32/bin/, the packages are in dist/"
