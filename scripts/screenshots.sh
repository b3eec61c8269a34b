#!/usr/bin/env bash
# Takes the README's pictures: the main window and the log window after a transfer, under a
# virtual display, with a private home folder. Needs an installed prefix (default ./prefix),
# Xvfb, xdotool and ImageMagick's import.
set -euo pipefail
cd "$(dirname "$0")/.."
prefix=${1:-$PWD/prefix}
bin=$prefix/bin
out=$PWD/docs
mkdir -p "$out"
home=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$home"' EXIT
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_RUNTIME_DIR=$home/run
mkdir -p "$XDG_RUNTIME_DIR" "$HOME/Documents" && chmod 700 "$XDG_RUNTIME_DIR"
export DISPLAY=:77
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp &
sleep 1

"$bin/zilba-sim" install
"$bin/zilba-sim" create --jobs 12 --signatures 3
"$bin/zilba-server" --port 18080 --data "$home/server" >/dev/null &
"$bin/zilba-sim" settings --server 127.0.0.1:18080
"$bin/ZilbaCompanion" &
sleep 2
main=$(xdotool search --onlyvisible --name '^Zilba Companion$' | head -n 1)
xdotool windowmove "$main" 40 40
import -window "$main" "$out/main-window.png"

# Transfer: Yes to the question, then wait for the closing box and dismiss it.
xdotool windowfocus --sync "$main" key alt+t
sleep 1
xdotool key Return
for _ in $(seq 50); do
  [ "$(xdotool search --onlyvisible --name '^Zilba Companion$' | wc -l)" -ge 2 ] && break
  sleep 0.2
done
sleep 0.5
xdotool key Return
sleep 0.5
log=$(xdotool search --onlyvisible --name '^Log$' | head -n 1)
import -window "$log" "$out/log-window.png"
echo "Pictures written to $out"
