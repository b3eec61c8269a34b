#!/usr/bin/env bash
# Sets everything up and starts Zilba Companion beside a docked sample handheld and a local
# stand-in of the organisation's server.
#
# With a display, only Transfer is left to press. Without one (or with --drive), it runs a
# transfer itself on a virtual display: presses Transfer, answers Yes to the questions through
# the real window, waits for the closing box, and then prints the log, what reached the server,
# where the backup is, and where it saved pictures of the windows.
# Safe to run again: it never deletes the local folders, the backups or the server's data.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
port=${ZILBA_PORT:-8080}

drive=no
[ "${1:-}" = --drive ] && drive=yes
[ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && drive=yes

if [ "$(id -u)" = 0 ]; then sudo=(); else sudo=(sudo); fi
bash scripts/packages.sh
if [ $drive = yes ]; then
  # Pictures of the windows, and the log's text from the clipboard.
  extra=()
  command -v import >/dev/null || extra+=(imagemagick)
  command -v xclip >/dev/null || extra+=(xclip)
  if [ ${#extra[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get install -y --no-install-recommends "${extra[@]}" >/dev/null ||
      { "${sudo[@]}" apt-get update >/dev/null &&
        "${sudo[@]}" apt-get install -y --no-install-recommends "${extra[@]}" >/dev/null; }
  fi
fi
cmake --preset release >/dev/null
cmake --build --preset release
cmake --install build/release --prefix "$top/prefix" >/dev/null
bin="$top/prefix/bin"

# The filter library's class registration, where the program looks for it.
"$bin/zilba-sim" install
# A sample handheld, created only once so an earlier one (and its purge flag) stays.
if ! "$bin/zilba-sim" status | grep -q '^Jobs: [0-9]'; then
  "$bin/zilba-sim" create
fi

# The stand-in server on the loopback address, unless one already answers there.
data=${XDG_DATA_HOME:-$HOME/.local/share}/zilba-companion/server
server=
if ! curl -s -o /dev/null "http://127.0.0.1:$port/"; then
  mkdir -p "$data"
  nohup "$bin/zilba-server" --port "$port" --data "$data" >>"$data/server.log" 2>&1 &
  server=$!
  for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
  echo "zilba-server listens on 127.0.0.1:$port, keeping uploads in $data"
fi
"$bin/zilba-sim" settings --server "127.0.0.1:$port"

if [ $drive = no ]; then
  # Docking starts every program registered for it; the program registers itself at each start.
  "$bin/ZilbaCompanion" &
  sleep 1
  "$bin/zilba-sim" dock
  echo "Zilba Companion is running. Press Transfer and answer Yes."
  wait
  exit
fi

# --- the transfer, driven through the real window ------------------------------------------------
out=$top/build/demo
mkdir -p "$out"
work=$(mktemp -d)
xvfb= program=
finish() {
  [ -n "$program" ] && kill "$program" 2>/dev/null && wait "$program" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap 'finish || true' EXIT
fail() {
  echo "demo: $*" >&2
  exit 1
}

source scripts/x11.sh
if [ -z "${DISPLAY:-}" ]; then
  start_xvfb "$work" || fail "the virtual display did not start: $(cat "$work/xvfb.log")"
  echo "A virtual display runs on $DISPLAY."
fi
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

picture() { import -window "$1" "$2" 2>/dev/null && echo "$2" || echo "($2 could not be taken)"; }

marker=$work/start
touch "$marker"
log_start=$(stat -c %s "$data/server.log" 2>/dev/null || echo 0)

"$bin/ZilbaCompanion" >"$work/program.log" 2>&1 &
program=$!
main=$(await 30 windows 'Zilba Companion') || fail "the main window did not come up: $(cat "$work/program.log")"
main=$(head -n 1 <<<"$main")
x windowmove "$main" 20 20
"$bin/zilba-sim" dock
echo "Pressing Transfer."
press "$main" alt+t

# Every question has Yes, and Y presses it; the closing box has only OK, so it stays.
closing=
for _ in $(seq 10); do
  shown=$(await 300 box) || fail "no box came up within 5 minutes"
  press "$shown" y
  sleep 0.5
  if ! await 3 gone "$shown" >/dev/null; then
    closing=$shown
    break
  fi
  echo "Answered Yes to a question."
done
[ -n "$closing" ] || fail "the questions did not end"

echo "The run ended with its closing box."
pictures=("$(picture "$closing" "$out/closing-box.png")")
press "$closing" Return
await 10 gone "$closing" >/dev/null ||
  fail "the closing box did not go"

log=$(await 10 windows Log | head -n 1) || fail "there is no log window"
x windowmove "$log" 560 20
sleep 0.5
pictures+=("$(picture "$main" "$out/main-window.png")" "$(picture "$log" "$out/log-window.png")")
# The log's text, as a person would take it: select all and copy.
press "$log" ctrl+a
press "$log" ctrl+c
sleep 0.5
text=$(timeout 10 xclip -o -selection clipboard 2>/dev/null | tr -d '\r' || true)
press "$main" alt+x
for _ in $(seq 50); do kill -0 "$program" 2>/dev/null || break; sleep 0.2; done

echo
echo "== The log =="
printf '%s\n' "${text:-(the log could not be read from the clipboard)}"
echo
echo "== What reached the server ($data) =="
find "$data" -type f -newer "$marker" ! -name server.log -printf '%10s bytes  %P\n' | sort -k3
tail -c +"$((log_start + 1))" "$data/server.log" 2>/dev/null | sed 's/^/  server: /' || true
echo
echo "== The backup =="
created=$(sed -n 's/^ \.\.Created \(.*\)$/\1/p' <<<"$text" | tail -n 1)
if [ -n "$created" ]; then
  stamp=$(basename "$created" .txt)
  backup="$(dirname "$(dirname "$created")")/Upload/${stamp#c_zilba_}"
  [ -d "$backup" ] && ls -l "$backup" || echo "$backup is not there: the run did not get as far as the backup"
  echo "$backup"
else
  echo "The log names no export file: the run ended before it wrote one."
fi
echo
echo "== Pictures =="
printf '%s\n' "${pictures[@]}"
served=$(tail -c +"$((log_start + 1))" "$data/server.log" 2>/dev/null || true)
grep -q '^Server process complete: ' <<<"$text" || { [ -z "$text" ] && grep -q 'GET /cgi-bin/dwsrun.* 200 ' <<<"$served"; } ||
  fail "the transfer did not finish (see the pictures)"
