#!/usr/bin/env bash
# Checks the packages in dist/. The zip: the shipped (i686) program and the README with CR LF,
# nothing else. The installer: the 32-bit one cannot run under a 64-bit-only Wine, so the same
# script is built for x86_64 around the tested build of the program and run for real: a silent
# install into a temporary folder, then a silent uninstall, checking the files, the Start-menu
# entry and the registry after each. Needs WINEPREFIX and a display, as windows.sh sets them.
set -euo pipefail
cd "$(dirname "$0")/../.."
fail() { echo "packages: $*" >&2; exit 1; }
wine=/usr/lib/wine/wine64

zip=dist/ZilbaCompanion-1.00-win32.zip
[ "$(unzip -Z1 "$zip" | sort | tr '\n' ' ')" = "README.txt ZilbaCompanion.exe " ] || fail "$zip holds $(unzip -Z1 "$zip")"
unzip -p "$zip" ZilbaCompanion.exe | cmp -s - build/win32/bin/ZilbaCompanion.exe || fail "the zip's program is not the i686 build"
readme=$(unzip -p "$zip" README.txt)
[ "$(grep -c $'\r$' <<<"$readme")" = "$(wc -l <<<"$readme")" ] || fail "README.txt has lines without CR LF"
[ -s dist/ZilbaCompanion-1.00-setup.exe ] || fail "no installer"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed 's/$/\r/' src/app/win32/installer/README.txt > "$work/README.txt"
makensis -V1 -DTARGET=amd64-unicode -DPROGRAM="$PWD/build/win64-test/bin/ZilbaCompanion.exe" \
  -DREADME="$work/README.txt" -DOUTFILE="$work/setup.exe" src/app/win32/installer/ZilbaCompanion.nsi
reg() { "$wine" reg "$@" > /dev/null 2>&1; }
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZilbaCompanion'
autostart='HKLM\SOFTWARE\Microsoft\Windows CE Services\AutoStartOnConnect'
settings='HKCU\Software\Brennowick\Zilba Companion'
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Zilba Companion.lnk"
target="$work/ZilbaCompanion"  # /D takes no quotes, so no space

"$wine" "$work/setup.exe" /S "/D=Z:${target//\//\\}" 2> /dev/null
for f in ZilbaCompanion.exe README.txt Uninstall.exe; do [ -f "$target/$f" ] || fail "$f is missing"; done
cmp -s "$work/README.txt" "$target/README.txt" || fail "README.txt differs"
[ -f "$shortcut" ] || fail "no Start-menu entry"
reg query "$uninstall" /v UninstallString || fail "no Add/Remove Programs entry"
# What the program writes when it runs: its docking entry, and the user's settings.
reg add "$autostart" /v "Zilba Companion" /d "Z:${target//\//\\}\\ZilbaCompanion.exe" /f
reg add "$settings" /v SITE_NAME /d bnwck /f

"$wine" "$target/Uninstall.exe" /S
for _ in $(seq 100); do [ -e "$target" ] || break; sleep 0.2; done  # it runs from a copy of itself
[ ! -e "$target" ] || fail "left behind: $(ls -A "$target")"
[ ! -e "$shortcut" ] || fail "the Start-menu entry stays"
! reg query "$uninstall" || fail "the Add/Remove Programs entry stays"
! reg query "$autostart" /v "Zilba Companion" || fail "the docking entry stays"
reg query "$settings" /v SITE_NAME || fail "the user's settings went"
reg delete "$settings" /v SITE_NAME /f
echo "packages: the zip and the installer are sound (installer run as its x86_64 build)"
