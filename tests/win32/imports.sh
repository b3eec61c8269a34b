#!/usr/bin/env bash
# The shipped program starts on Windows XP SP3 only if nothing it imports (the static runtime's
# included) is newer: fails naming each import listed in tests/data/xp-missing-imports.txt.
#   imports.sh [PROGRAM]     (default: build/win32/bin/ZilbaCompanion.exe, the shipped file)
set -euo pipefail
cd "$(dirname "$0")/../.."
program=${1:-build/win32/bin/ZilbaCompanion.exe}
# "DLL function" per import, the DLL in capitals without ".dll".
imports=$(i686-w64-mingw32-objdump -p "$program" | awk '/^\tDLL Name: / { d = toupper($3); sub(/\.DLL$/, "", d); next }
  d != "" && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ { print d, $3 }
  /^ *[0-9a-f]+\t[0-9a-f]+ [0-9a-f]+ [0-9a-f]+ [0-9a-f]+ [0-9a-f]+$/ { d = "" }')
# mingw-w64's runtime imports GetProcAddress in every program: without it the listing was not read.
grep -qx 'KERNEL32 GetProcAddress' <<<"$imports" || { echo "imports: no imports read from $program" >&2; exit 1; }
newer=$(awk 'NR == FNR { if (!/^#/) { v = $0; sub(/^[^ ]+ [^ ]+ /, "", v); w[$1 " " $2] = v }; next }
  { for (k in w) { split(k, p, " "); f = p[2]; s = sub(/\*$/, "", f)
      if ($1 == p[1] && (s ? index($2, f) == 1 : $2 == f)) print "  " $1 ".dll!" $2 " (Windows " w[k] ")" } }' \
  tests/data/xp-missing-imports.txt - <<<"$imports")
[ -z "$newer" ] || { printf 'imports: %s imports what Windows XP SP3 lacks:\n%s\n' "$program" "$newer" >&2; exit 1; }
echo "imports: $(wc -l <<<"$imports") functions, none newer than Windows XP SP3"
