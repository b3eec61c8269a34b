#!/usr/bin/env bash
# The installed program, driven through its windows as a person drives it: killed between the
# export and the flag, during the backup and during a Resend's copy, then doing what the boxes say,
# every row reaches the server and is imported once; killed at points spread over a transfer, it
# starts again, a transfer completes, and nothing collected from the handheld is lost or corrupted.
# Usage: crash.sh PREFIX CHECK-INVARIANT; ZC_CRASH_POINTS shortens a local run (30 by default),
# ZC_CRASH_FROM starts its kills at a later point.
set -euo pipefail
bin=$1/bin check=$2 points=${ZC_CRASH_POINTS:-30}
top=$(mktemp -d)
export HOME=$top/home XDG_CONFIG_HOME=$top/home/.config XDG_DATA_HOME=$top/home/.local/share \
  XDG_RUNTIME_DIR=$top/run
mkdir -p "$HOME/Documents" "$XDG_RUNTIME_DIR" "$top/server"
chmod 700 "$XDG_RUNTIME_DIR"
handheld="$XDG_DATA_HOME/zilba-companion/handheld/My Documents/Pocket Zilba"
local="$HOME/Documents/Zilba Companion" data=$top/server log=$top/server.log
finished="Finished. For more information please see the log."
program= server= xvfb= point=0
finish() {
  kill -9 $program $server 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null  # asked to stop, Xvfb removes its lock file
  wait 2>/dev/null || true
  rm -rf "$top"
}
trap finish EXIT
fail() { echo "crash (point $point): $*" >&2; exit 1; }
source "$(dirname "$0")/../../scripts/x11.sh"
# A sanitizer build checks for leaks when the program ends (a second start ends at once).
export LSAN_OPTIONS=suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}

start_xvfb "$top" || fail "the virtual display did not start: $(cat "$top/xvfb.log")"
"$bin/zilba-sim" install >/dev/null && "$bin/zilba-sim" create --jobs 1500 --signatures 30 >/dev/null ||
  fail "zilba-sim could not register the filter or make the handheld"
"$bin/zilba-server" --port 0 --data "$data" >"$log" 2>&1 &
server=$!
port=$(await 10 sed -n 's|.*listening on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$log") || fail "no zilba-server"
"$bin/zilba-sim" settings --server "127.0.0.1:$port" >/dev/null

ms() { echo $(($(date +%s%N) / 1000000)); }
# The stand-in server logs every request: a box that comes after a new import request is the
# run's closing box.
imports() { grep -c /cgi-bin/dwsrun "$log" || true; }
invariant() { "$check" "$handheld" "$local" "$data" "$top/settings" "$@" || fail "the promise broke"; }
journal="$local/zilba-run.journal"
# The journal's value $1 ("stage", "export", "kept"), or nothing when no run was cut short.
journaled() { [ -f "$journal" ] && sed -n "s/^$1=//p" "$journal" | tr -d '\r' || true; }

# Starts the program (again, when Xvfb refused it a connection, as it now and then does while
# xdotool clients come and go) and waits for its main window.
start() {
  for _ in 1 2 3; do
    "$bin/ZilbaCompanion" >/dev/null 2>&1 &
    program=$!
    for _ in $(seq 150); do
      main=$(windows 'Zilba Companion' | head -n 1)
      [ -n "$main" ] && { resume; return $?; }
      kill -0 "$program" 2>/dev/null || break
      sleep 0.2
    done
  done
  return 1
}
stop() { kill -9 "$program" 2>/dev/null || true; wait "$program" 2>/dev/null || true; }

# Does what the start-up box of a run cut short says: it is dismissed, then the closing box of the
# run the program finishes; cut short while the import was asked, the server's log is checked and
# the export file resent from its backup when it was not imported.
resume() {
  local stage file kept shown
  stage=$(journaled stage) file=$(journaled export) kept=$(journaled kept)
  [ -z "$stage" ] && return 0
  shown=$(await 20 box) || fail "no box told what is left of a run cut short ($stage)"
  press "$shown" Return
  await 10 gone "$shown" >/dev/null || true
  case $stage in
    flagged | copied | sent | "backing up")
      shown=$(await 60 box) || fail "the run cut short ($stage) was not finished"
      press "$shown" Return
      await 10 gone "$shown" >/dev/null || true ;;
    importing)
      grep -q " imported .*/${file##*/} " "$log" || resend "$kept/${file##*/}" ||
        fail "${file##*/} could not be resent from $kept" ;;
  esac
  # Gone once the run is finished or its files set aside; a press before that is not taken.
  for _ in $(seq 50); do [ -e "$journal" ] && sleep 0.2; done
  [ ! -e "$journal" ] || fail "the journal of a run cut short ($stage) is still there"
  sleep 0.5
}

# Kills the program (kill -9) the moment its journal says stage $1; prints "killed" then.
kill_at_stage() {
  local line
  while kill -0 "$program" 2>/dev/null; do
    [ -f "$journal" ] || continue
    while IFS= read -r line; do
      [ "${line%$'\r'}" = "stage=$1" ] && { kill -9 "$program"; echo killed; return 0; }
    done <"$journal" 2>/dev/null || true
  done
}

# Presses Transfer and says Yes to every question up to the closing box, which it dismisses;
# with $1, kills the program that many milliseconds after the press, wherever the run stands
# (a run that ended by then is followed by the kill all the same).
transfer() {
  local before t0 shown closing
  before=$(imports) t0=$(ms)
  press "$main" alt+t
  while (($(ms) - t0 < 60000)); do
    if [ -n "${1:-}" ] && (($(ms) - t0 >= $1)); then stop; return 0; fi
    kill -0 "$program" 2>/dev/null || return 0  # killed by kill_at_stage
    shown=$(box)
    [ -z "$shown" ] && { sleep 0.05; continue; }
    closing=$(($(imports) > before))
    press "$shown" Return
    await 10 gone "$shown" >/dev/null || true  # the next question may follow at once
    ((closing)) && [ -z "${1:-}" ] && return 0
  done
  return 1
}

# Resends $1 through the file dialog and dismisses the closing box; fails when no import came.
resend() {
  local before dialog shown
  before=$(imports)
  press "$main" alt+r
  dialog=$(await 20 windows 'Select export file' | head -n 1) || return 1
  x windowfocus --sync "$dialog" && x type --delay 10 "$1" && press "$dialog" Return
  for _ in $(seq 300); do
    shown=$(box)
    [ -n "$shown" ] && break
    kill -0 "$program" 2>/dev/null || return 0  # killed by kill_at_stage
    sleep 0.2
  done
  [ -n "$shown" ] || return 1
  press "$shown" Return
  await 10 gone "$shown" >/dev/null || true
  (($(imports) > before))
}

# Killed at a step of a run, then started again and doing what the boxes say: every row and
# signature is on a server that had lost everything, each row imported once. The run is tried
# again when it went past the step before the kill landed.
export ZC_SERVER_LOG=$top/since.log
killed_at() {
  local stage=$1 tries=0 watcher
  shift
  point=$stage
  while ((++tries <= 5)); do
    rm -rf "$data" && mkdir "$data" && rm -rf "$handheld/.purge"
    from=$(($(wc -l <"$log") + 1))
    sleep 1.1  # a backup folder of its own
    start || fail "the program did not start"
    kill_at_stage "$stage" >"$top/killed" &
    watcher=$!
    "$@" || true
    stop
    wait "$watcher" || true
    [ -s "$top/killed" ] && break
  done
  [ -s "$top/killed" ] || fail "no kill landed while the journal said $stage in $((tries - 1)) runs"
  echo "killed while the journal said $stage (run $tries)"
  sleep 1.1
  start || fail "the program did not start after the kill"
}
# What the server logged since the scenario began, for the check that each row was imported once.
imported_once() {
  tail -n "+$from" "$log" >"$ZC_SERVER_LOG"
  invariant "$finished"
  stop
}
# Set aside at the start; the next transfer collects the handheld anew, a whole transfer that
# times the kill points below. A second start meanwhile ends at once: one program at a time
# works on the handheld and the folders.
killed_at exported transfer
for _ in 1 2 3; do
  code=0
  timeout 20 "$bin/ZilbaCompanion" >/dev/null 2>&1 || code=$?
  ((code != 134)) && break  # 134: Xvfb refused it a connection
done
((code == 0)) || fail "a second start did not end at once (exit code $code)"
t0=$(ms)
transfer || fail "no transfer completed after the files were set aside"
whole=$(($(ms) - t0))
echo "a whole transfer took $whole ms"
imported_once
# The start finishes the backup and asks the import.
killed_at "backing up" transfer
imported_once
# The start removes what the copy left; resent as the box says.
backup=$(ls -d "$local"/Upload/* | grep -v 'set aside$' | tail -n 1)
copy="$backup/$(ls "$backup" | grep '^c_zilba_')"
killed_at copying resend "$copy"
resend "$copy" || fail "the resend after the kill during its copy did not finish"
imported_once
unset ZC_SERVER_LOG

for point in $(seq "${ZC_CRASH_FROM:-1}" "$points"); do
  start || fail "the program did not start"
  transfer $((whole * point / 31))
  left=$(journaled stage)
  point="$point, the journal said ${left:-nothing}"
  # Started again: the lock died with the killed process. A backup folder is named after its
  # second, and the killed run may have made this second's; the user's next press is never that quick.
  # The server meanwhile stores what it had whole of the killed run's request.
  sleep 1.1
  invariant
  start || fail "a stale lock kept the program from starting"
  # An export file the killed run did not send is sent first, as the next transfer asks.
  for file in "$local"/Export/c_zilba_*; do
    [ -f "$file" ] && [ "$(tail -c 10 "$file")" = $'&&STOP%%\r' ] || continue
    resend "$file" || fail "$file could not be resent"
    sleep 1.1
  done
  transfer || fail "no transfer completed after the kill"
  [ -e "$handheld/.purge" ] || fail "the handheld is not marked collected"
  invariant
  stop
done
echo "crash: killed at $points points of a transfer, nothing was lost"
