#!/usr/bin/env bash
# The shipped program must start on Windows XP SP3 (32-bit) and on every later Windows. A
# function its import table names that the system's DLLs lack stops it before its first line
# runs ("The procedure entry point ... could not be located in the dynamic link library").
# This lists the program's imported functions per DLL, the statically linked runtime's
# included, and fails naming every one that a Windows later than XP SP3 brought.
#   imports.sh [PROGRAM]     (default: build/win32/bin/ZilbaCompanion.exe, the shipped file)
set -euo pipefail
cd "$(dirname "$0")/../.."
program=${1:-build/win32/bin/ZilbaCompanion.exe}
fail() { echo "imports: $*" >&2; exit 1; }

# Functions a mingw-w64 program could plausibly import that 32-bit Windows XP SP3 lacks: the DLL,
# the function (a trailing * stands for every function of that beginning) and the Windows that
# brought it. "XP x64" marks those that came with Windows Server 2003 SP1 / XP x64 and so are
# missing from 32-bit XP only.
newer=$(cat <<'EOF'
KERNEL32 GetTickCount64 Vista
KERNEL32 InitializeSRWLock Vista
KERNEL32 AcquireSRWLockExclusive Vista
KERNEL32 AcquireSRWLockShared Vista
KERNEL32 ReleaseSRWLockExclusive Vista
KERNEL32 ReleaseSRWLockShared Vista
KERNEL32 TryAcquireSRWLockExclusive 7
KERNEL32 TryAcquireSRWLockShared 7
KERNEL32 InitializeConditionVariable Vista
KERNEL32 SleepConditionVariableCS Vista
KERNEL32 SleepConditionVariableSRW Vista
KERNEL32 WakeConditionVariable Vista
KERNEL32 WakeAllConditionVariable Vista
KERNEL32 InitOnceExecuteOnce Vista
KERNEL32 InitOnceBeginInitialize Vista
KERNEL32 InitOnceComplete Vista
KERNEL32 InitOnceInitialize Vista
KERNEL32 InitializeCriticalSectionEx Vista
KERNEL32 CreateEventExA Vista
KERNEL32 CreateEventExW Vista
KERNEL32 CreateMutexExA Vista
KERNEL32 CreateMutexExW Vista
KERNEL32 CreateSemaphoreExA Vista
KERNEL32 CreateSemaphoreExW Vista
KERNEL32 GetSystemTimePreciseAsFileTime 8
KERNEL32 GetFileInformationByHandleEx Vista
KERNEL32 SetFileInformationByHandle Vista
KERNEL32 GetFinalPathNameByHandleA Vista
KERNEL32 GetFinalPathNameByHandleW Vista
KERNEL32 CreateSymbolicLinkA Vista
KERNEL32 CreateSymbolicLinkW Vista
KERNEL32 FlsAlloc Vista_(XP_x64)
KERNEL32 FlsGetValue Vista_(XP_x64)
KERNEL32 FlsSetValue Vista_(XP_x64)
KERNEL32 FlsFree Vista_(XP_x64)
KERNEL32 GetLocaleInfoEx Vista
KERNEL32 LCMapStringEx Vista
KERNEL32 CompareStringEx Vista
KERNEL32 GetUserDefaultLocaleName Vista
KERNEL32 K32* 7
KERNEL32 GetQueuedCompletionStatusEx Vista
KERNEL32 CancelIoEx Vista
KERNEL32 SetThreadStackGuarantee Vista_(XP_x64)
ADVAPI32 RegGetValueA Vista_(XP_x64)
ADVAPI32 RegGetValueW Vista_(XP_x64)
ADVAPI32 RegDeleteKeyExA Vista_(XP_x64)
ADVAPI32 RegDeleteKeyExW Vista_(XP_x64)
ADVAPI32 RegDeleteTreeA Vista
ADVAPI32 RegDeleteTreeW Vista
ADVAPI32 RegSetKeyValueA Vista
ADVAPI32 RegSetKeyValueW Vista
WS2_32 WSAPoll Vista
WS2_32 inet_pton Vista
WS2_32 inet_ntop Vista
WS2_32 InetPtonW Vista
WS2_32 InetNtopW Vista
USER32 SetProcessDPIAware Vista
EOF
)

[ -f "$program" ] || fail "$program is missing: build the win32 preset first"
listing=$(i686-w64-mingw32-objdump -p "$program")
grep -q 'file format pei-i386' <<<"$listing" || fail "$program is not a 32-bit Windows program"
# "DLL function" per import: the DLL's name in capitals without ".dll", the function as named.
imports=$(awk '/^\tDLL Name: / { dll = toupper($3); sub(/\.DLL$/, "", dll); next }
               /^$/ { next }
               dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ { print dll, $3 }
               /^ *[0-9a-f]+\t[0-9a-f]+ [0-9a-f]+ [0-9a-f]+ [0-9a-f]+ [0-9a-f]+$/ { dll = "" }' <<<"$listing")
# A listing this reader cannot follow would pass every program: mingw-w64's runtime looks
# functions up by name in every program it links, so that import at least must be read.
grep -qx 'KERNEL32 GetProcAddress' <<<"$imports" || fail "no imports read from $program"

found=()
while read -r dll function version; do
  if [[ $function == *'*' ]]; then
    hits=$(awk -v d="$dll" -v p="${function%\*}" '$1 == d && index($2, p) == 1 { print $2 }' <<<"$imports")
  else
    hits=$(awk -v d="$dll" -v f="$function" '$1 == d && $2 == f { print $2 }' <<<"$imports")
  fi
  for hit in $hits; do found+=("$dll.dll!$hit (Windows ${version//_/ })"); done
done <<<"$newer"

if [ ${#found[@]} -gt 0 ]; then
  printf 'imports: %s imports what Windows XP SP3 lacks:\n' "$program" >&2
  printf '  %s\n' "${found[@]}" >&2
  exit 1
fi
echo "imports: $(wc -l <<<"$imports") functions from $(cut -d' ' -f1 <<<"$imports" | sort -u | wc -l) DLLs, none of the $(wc -l <<<"$newer") entries newer than Windows XP SP3"
