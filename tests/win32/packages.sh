#!/usr/bin/env bash
# Checks dist/ against the tested i686 program: the zip, and the installer run silently, twice,
# with another copy's auto-start entry in the 64-bit and then the 32-bit registry view
# (docs/WINDOWS.md). Needs WINEPREFIX, WINEDLLPATH and DISPLAY as windows.sh sets them.
set -euo pipefail
cd "$(dirname "$0")/../.."
fail() { echo "packages: $*" >&2; exit 1; }
trap 'echo "packages: line $LINENO failed: $BASH_COMMAND" >&2' ERR
wine=/usr/lib/wine/wine64
bin=build/win32/bin

zip=dist/ZilbaCompanion-1.00-win32.zip
[ "$(unzip -Z1 "$zip" | sort | tr '\n' ' ')" = "README.txt ZilbaCompanion.exe " ] || fail "$zip holds $(unzip -Z1 "$zip")"
unzip -p "$zip" ZilbaCompanion.exe | cmp -s - $bin/ZilbaCompanion.exe || fail "the zip's program is not the tested i686 build"
readme=$(unzip -p "$zip" README.txt)
[ "$(grep -c $'\r$' <<<"$readme")" = "$(wc -l <<<"$readme")" ] || fail "README.txt has lines without CR LF"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed 's/$/\r/' src/shells/win32/installer/README.txt > "$work/README.txt"
reg() { "$wine" reg "$@" > /dev/null 2>&1; }
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZilbaCompanion'
autostart='HKLM\SOFTWARE\Microsoft\Windows CE Services\AutoStartOnConnect'
settings='HKCU\Software\Brennowick\Zilba Companion'
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Zilba Companion.lnk"
target="$work/ZilbaCompanion"  # /D takes no quotes, so no space
wintarget="Z:${target//\//\\}"
program="$wintarget\\ZilbaCompanion.exe"
elsewhere='C:\Program Files\Zilba Companion (another copy)\ZilbaCompanion.exe'

# STEP OURS OTHER: the auto-start entries of our view and of the other copy's ("none").
entries() {
  local view found=""
  for view in $ours $other; do
    found+="$("$wine" reg query "$autostart" /v "Zilba Companion" "/reg:$view" 2> /dev/null | tr -d '\r' |
      sed -n 's/^.*REG_SZ *//p' | grep . || echo none) "
  done
  [ "$found" = "$2 $3 " ] || fail "$1: the auto-start entries ($ours-bit view, $other-bit view) are $found, not $2 $3"
}
# STEP OTHER [MARK]: the installed files (README.txt as shipped, or holding MARK), the entries of
# the Start menu and of Add/Remove Programs, and the auto-start entries (OTHER in the other view).
installed() {
  for f in ZilbaCompanion.exe README.txt Uninstall.exe; do [ -f "$target/$f" ] || fail "$1: $f is missing"; done
  [ -f "$shortcut" ] || fail "$1: no Start-menu entry"
  cmp -s $bin/ZilbaCompanion.exe "$target/ZilbaCompanion.exe" || fail "$1: the program is not the tested i686 build"
  if [ $# = 2 ]; then cmp -s "$work/README.txt" "$target/README.txt" || fail "$1: README.txt is not the shipped one"
  else grep -q "$3" "$target/README.txt" || fail "$1: README.txt was replaced"; fi
  reg query "$uninstall" /v UninstallString /reg:32 || fail "$1: no Add/Remove Programs entry"
  entries "$1" "$program" "$2"
}
install() { "$wine" dist/ZilbaCompanion-1.00-setup.exe /S "/D=$wintarget" 2> /dev/null; }
uninstall() { "$wine" "$target/Uninstall.exe" /S "_?=$wintarget" 2> /dev/null; }  # in place, to give its code

# The installed program from its Start-menu entry, the stand-in filter registered: it makes its
# window and ends when asked.
start_installed() {
  "$wine" $bin/zilba-register.exe > /dev/null 2>&1 || fail "cannot register the stand-in filter library"
  "$wine" start 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Zilba Companion.lnk' 2> /dev/null
  "$wine" $bin/program-probe.exe await ZilbaCompanionMain "Zilba Companion" 30 || fail "the installed program's window"
}

for other in 64 32; do
  ours=$((96 - other))
  install || fail "the install failed ($?)"
  installed "installed" "$program"
  [ "$other" = 32 ] || start_installed

  # While it runs (its mutex held until that file goes), neither setup nor uninstaller changes anything.
  "$wine" $bin/program-probe.exe hold "Z:${work//\//\\}\\running" &
  holder=$!
  for _ in $(seq 100); do [ -e "$work/running" ] && break; sleep 0.1; done
  [ -e "$work/running" ] || fail "program-probe hold did not start"
  echo "not the installer's" >> "$target/README.txt"
  reg add "$autostart" /v "Zilba Companion" /d "$elsewhere" "/reg:$other" /f
  for refused in install uninstall; do
    ! $refused || fail "an $refused while the program runs ended well"
    installed "refused $refused" "$elsewhere" "not the installer's"
  done
  rm -f "$work/running"
  wait "$holder" || fail "program-probe hold ended with $?"
  install || fail "the install after the program ended failed ($?)"
  installed "installed again" "$program"

  # The uninstaller removes its own entries; another copy's and the user's settings stay.
  reg add "$autostart" /v "Zilba Companion" /d "$elsewhere" "/reg:$other" /f
  reg add "$settings" /v SITE_NAME /d bnwck /f
  "$wine" "$target/Uninstall.exe" /S
  for _ in $(seq 100); do [ -e "$target" ] || break; sleep 0.2; done  # it runs from a copy of itself
  [ ! -e "$target" ] || fail "left behind: $(ls -A "$target")"
  [ ! -e "$shortcut" ] || fail "the Start-menu entry stays"
  ! reg query "$uninstall" /reg:32 || fail "the Add/Remove Programs entry stays"
  entries "uninstalled" none "$elsewhere"
  reg query "$settings" /v SITE_NAME || fail "the user's settings went"
  reg delete "$settings" /v SITE_NAME /f
  reg delete "$autostart" /v "Zilba Companion" "/reg:$other" /f
done
echo "packages: the zip and the installer are sound"
