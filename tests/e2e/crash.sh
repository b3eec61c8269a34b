#!/usr/bin/env bash
# The installed program, driven through its windows as a person drives it, killed (kill -9)
# between the export and the flag, during the backup and during a Resend's copy: nothing collected
# is lost by the kill, the next start finds no stale lock, and doing what the boxes say, every row
# reaches the server and is imported once. A kill at every call is swept in-process (FaultSweepTest).
# Usage: crash.sh PREFIX CHECK-INVARIANT
set -euo pipefail
bin=$1/bin check=$2
top=$(mktemp -d)
export HOME=$top/home XDG_CONFIG_HOME=$top/home/.config XDG_DATA_HOME=$top/home/.local/share \
  XDG_RUNTIME_DIR=$top/run
mkdir -p "$HOME/Documents" "$XDG_RUNTIME_DIR" "$top/server"
chmod 700 "$XDG_RUNTIME_DIR"
handheld="$XDG_DATA_HOME/zilba-companion/handheld/My Documents/Pocket Zilba"
local="$HOME/Documents/Zilba Companion" data=$top/server log=$top/server.log
finished="Finished. For more information please see the log."
program= server= xvfb= stage=start
finish() {
  kill -9 $program $server 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null  # asked to stop, Xvfb removes its lock file
  wait 2>/dev/null || true
  rm -rf "$top"
}
trap finish EXIT
fail() { echo "crash (killed at $stage): $*" >&2; exit 1; }
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

# The import requests the stand-in server has logged.
imports() { grep -c /cgi-bin/dwsrun "$log" || true; }
# The promise checked against what the server logged since line $from, where the scenario began.
export ZC_SERVER_LOG=$top/since.log
invariant() {
  tail -n "+$from" "$log" >"$ZC_SERVER_LOG"
  "$check" "$handheld" "$local" "$data" "$top/settings" "$@" || fail "the promise broke"
}
journal="$local/zilba-run.journal"

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
# Presses Return on box $1 and waits for it to go (the next question may follow at once).
dismiss() { press "$1" Return; await 10 gone "$1" >/dev/null || true; }

# Does what the start-up box of a run cut short says: it is dismissed, then the closing box of the
# backup the program finishes.
resume() {
  local stage shown
  [ -f "$journal" ] || return 0
  stage=$(sed -n 's/^stage=//p' "$journal" | tr -d '\r')
  shown=$(await 20 box) || fail "no box told what is left of a run cut short ($stage)"
  dismiss "$shown"
  if [ "$stage" = "backing up" ]; then
    shown=$(await 60 box) || fail "the run cut short ($stage) was not finished"
    dismiss "$shown"
  fi
  # Gone once the run is finished or its files set aside; a press before that is not taken.
  for _ in $(seq 50); do [ -e "$journal" ] && sleep 0.2; done
  [ ! -e "$journal" ] || fail "the journal of a run cut short ($stage) is still there"
  sleep 0.5
}

# Kills the program (kill -9) the moment its journal says stage $1; prints "killed" then.
kill_at_stage() {
  local line
  while kill -0 "$program" 2>/dev/null; do
    while IFS= read -r line; do
      [ "${line%$'\r'}" = "stage=$1" ] && { kill -9 "$program"; echo killed; return 0; }
    done 2>/dev/null <"$journal" || true
  done
}

# Presses Transfer, or with $1 Resend and gives the file dialog $1; then says Yes to every question
# up to the run's closing box (the first box after a new import request), which it dismisses.
run() {
  local before end=$((SECONDS + 60)) dialog shown closing
  before=$(imports)
  if [ -z "${1:-}" ]; then
    press "$main" alt+t
  else
    press "$main" alt+r
    dialog=$(await 20 windows 'Select export file' | head -n 1) || return 1
    x windowfocus --sync "$dialog" && x type --delay 10 "$1" && press "$dialog" Return
  fi
  while ((SECONDS < end)); do
    kill -0 "$program" 2>/dev/null || return 0  # killed by kill_at_stage
    shown=$(box)
    [ -z "$shown" ] && { sleep 0.05; continue; }
    closing=$(($(imports) > before))
    dismiss "$shown"
    ((closing)) && return 0
  done
  return 1
}

# Killed at a step of a run, then started again and doing what the boxes say: every row and
# signature is on a server that had lost everything, each row imported once. The run is tried
# again when it went past the step before the kill landed.
killed_at() {
  local tries=0 watcher
  stage=$1
  shift
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
  invariant
  sleep 1.1
  start || fail "a stale lock kept the program from starting after the kill"
}
imported_once() {
  invariant "$finished"
  stop
}
# Set aside at the start; the next transfer collects the handheld anew. A second start meanwhile
# ends at once: one program at a time works on the handheld and the folders.
killed_at exported run
for _ in 1 2 3; do
  code=0
  timeout 20 "$bin/ZilbaCompanion" >/dev/null 2>&1 || code=$?
  ((code != 134)) && break  # 134: Xvfb refused it a connection
done
((code == 0)) || fail "a second start did not end at once (exit code $code)"
run || fail "no transfer completed after the files were set aside"
imported_once
# The start finishes the backup and asks the import.
killed_at "backing up" run
imported_once
# The start removes what the copy left; resent as the box says.
backup=$(ls -d "$local"/Upload/* | grep -v 'set aside$' | tail -n 1)
copy="$backup/$(ls "$backup" | grep '^c_zilba_')"
killed_at copying run "$copy"
run "$copy" || fail "the resend after the kill during its copy did not finish"
imported_once
echo "crash: killed at three stages, every row was imported once"
