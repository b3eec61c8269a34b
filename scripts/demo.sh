#!/usr/bin/env bash
# Sets everything up and starts Zilba Companion beside a docked sample handheld and a local
# stand-in of the organisation's server, so that only Transfer is left to press.
# Safe to run again: it never deletes the local folders, the backups or the server's data.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
port=${ZILBA_PORT:-8080}

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "There is no display to show the window on."
  echo "Run it under a virtual display instead:  xvfb-run -a bash scripts/demo.sh"
  echo "(xvfb-run comes with the xvfb package: sudo apt-get install -y xvfb)"
  exit 2
fi

bash scripts/packages.sh
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
if ! curl -s -o /dev/null "http://127.0.0.1:$port/"; then
  data=${XDG_DATA_HOME:-$HOME/.local/share}/zilba-companion/server
  mkdir -p "$data"
  nohup "$bin/zilba-server" --port "$port" --data "$data" >"$data/server.log" 2>&1 &
  for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
  echo "zilba-server listens on 127.0.0.1:$port, keeping uploads in $data"
fi
"$bin/zilba-sim" settings --server "127.0.0.1:$port"

# Docking starts every program registered for it; the program registers itself at each start.
"$bin/ZilbaCompanion" &
sleep 1
"$bin/zilba-sim" dock
echo "Zilba Companion is running. Press Transfer and answer Yes."
wait
