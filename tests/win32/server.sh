#!/usr/bin/env bash
# `server.sh start BIN STATE` | `stop STATE`: the Linux zilba-server on a free port of 127.0.0.1
# (in STATE/port), its uploads in STATE/data. A start ends an earlier one.
set -euo pipefail
state=${!#}
if [ -f "$state/pid" ]; then kill "$(cat "$state/pid")" 2>/dev/null || true; rm -f "$state/pid"; fi
[ "$1" = start ] || exit 0
rm -rf "$state" && mkdir -p "$state/data"
: > "$state/log"  # made here: the started server opens it only once it runs, perhaps after the loop reads it
"$2/zilba-server" --port 0 --data "$state/data" > "$state/log" 2>&1 &
echo $! > "$state/pid"
for _ in $(seq 100); do
  port=$(sed -n 's|.*listening on http://127.0.0.1:\([0-9]*\)/.*|\1|p' "$state/log")
  if [ -n "$port" ]; then echo "$port" > "$state/port"; exit 0; fi
  sleep 0.1
done
cat "$state/log" >&2
exit 1
