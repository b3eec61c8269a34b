#!/usr/bin/env bash
# Checks the packages in dist/ against the tested i686 program of build/win32/bin/. The zip: that
# program byte for byte and the README with CR LF, nothing else. The installer, the one shipped,
# run for real under wine64 in WoW64 mode: a silent install into a temporary folder (the files,
# the Start-menu entry, the Add/Remove Programs entry in the 32-bit view where a 32-bit installer
# writes it), the installed program started from its Start-menu entry, then a silent uninstall
# (all gone, the user's settings kept). Needs the WoW64 prefix and a display, as windows.sh sets
# them (WINEPREFIX, WINEDLLPATH, DISPLAY).
set -euo pipefail
cd "$(dirname "$0")/../.."
fail() { echo "packages: $*" >&2; exit 1; }
wine=/usr/lib/wine/wine64
bin=build/win32/bin

zip=dist/ZilbaCompanion-1.00-win32.zip
[ "$(unzip -Z1 "$zip" | sort | tr '\n' ' ')" = "README.txt ZilbaCompanion.exe " ] || fail "$zip holds $(unzip -Z1 "$zip")"
unzip -p "$zip" ZilbaCompanion.exe | cmp -s - $bin/ZilbaCompanion.exe || fail "the zip's program is not the tested i686 build"
readme=$(unzip -p "$zip" README.txt)
[ "$(grep -c $'\r$' <<<"$readme")" = "$(wc -l <<<"$readme")" ] || fail "README.txt has lines without CR LF"
[ -s dist/ZilbaCompanion-1.00-setup.exe ] || fail "no installer"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed 's/$/\r/' src/app/win32/installer/README.txt > "$work/README.txt"
reg() { "$wine" reg "$@" > /dev/null 2>&1; }
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZilbaCompanion'
autostart='HKLM\SOFTWARE\Microsoft\Windows CE Services\AutoStartOnConnect'
settings='HKCU\Software\Brennowick\Zilba Companion'
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Zilba Companion.lnk"
target="$work/ZilbaCompanion"  # /D takes no quotes, so no space

"$wine" dist/ZilbaCompanion-1.00-setup.exe /S "/D=Z:${target//\//\\}" 2> /dev/null
for f in ZilbaCompanion.exe README.txt Uninstall.exe; do [ -f "$target/$f" ] || fail "$f is missing"; done
cmp -s $bin/ZilbaCompanion.exe "$target/ZilbaCompanion.exe" || fail "the installed program is not the tested i686 build"
cmp -s "$work/README.txt" "$target/README.txt" || fail "README.txt differs"
[ -f "$shortcut" ] || fail "no Start-menu entry"
reg query "$uninstall" /v UninstallString /reg:32 || fail "no Add/Remove Programs entry"

# The installed program, from its Start-menu entry, with the stand-in filter library registered
# as the docking software registers its own. Wine 8.0 cannot show a 32-bit program's window
# (docs/WINDOWS.md): there, that it starts and makes its window is all there is to see.
"$wine" $bin/zilba-register.exe > /dev/null 2>&1 || fail "cannot register the stand-in filter library"
"$wine" start "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Zilba Companion.lnk" 2> /dev/null
if "$wine" $bin/drawing-probe.exe metrics > /dev/null 2>&1; then seen=(0); else seen=(0 1); fi
set +e
"$wine" $bin/await-window.exe ZilbaCompanionMain "Zilba Companion" 30
code=$?
set -e
[[ " ${seen[*]} " == *" $code "* ]] || fail "the installed program's window: await-window ended with $code"
# What the program writes when it runs, whether or not it came so far here: its docking entry,
# and the user's settings.
reg add "$autostart" /v "Zilba Companion" /d "Z:${target//\//\\}\\ZilbaCompanion.exe" /f /reg:64
reg add "$settings" /v SITE_NAME /d bnwck /f

"$wine" "$target/Uninstall.exe" /S
for _ in $(seq 100); do [ -e "$target" ] || break; sleep 0.2; done  # it runs from a copy of itself
[ ! -e "$target" ] || fail "left behind: $(ls -A "$target")"
[ ! -e "$shortcut" ] || fail "the Start-menu entry stays"
! reg query "$uninstall" /reg:32 || fail "the Add/Remove Programs entry stays"
! reg query "$autostart" /v "Zilba Companion" /reg:64 || fail "the docking entry stays"
reg query "$settings" /v SITE_NAME || fail "the user's settings went"
reg delete "$settings" /v SITE_NAME /f
echo "packages: the zip and the installer are sound (the installed program's window: $(
  [ $code = 0 ] && echo shown || echo "made, not shown by this Wine"))"
