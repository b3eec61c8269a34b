# Driving Zilba Companion's windows on an X display as a person would, with xdotool; sourced by
# the demo. The caller sets $main to the main window once it shows.

# Starts a virtual display of its own (Xvfb picks a free one and tells its number), with its
# output in $1/xvfb.log; sets DISPLAY and xvfb (the process).
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$1/display" 2>"$1/xvfb.log" &
  xvfb=$!
  for _ in $(seq 100); do grep -q '^[0-9]' "$1/display" 2>/dev/null && break; sleep 0.1; done
  grep -q '^[0-9]' "$1/display" || return 1
  export DISPLAY=:$(head -n 1 "$1/display")
  unset WAYLAND_DISPLAY QT_QPA_PLATFORM
}

x() { timeout 20 xdotool "$@"; }
windows() { x search --onlyvisible --name "^$1\$" 2>/dev/null || true; }
# A second "Zilba Companion" window beside the main one: a question or a box.
box() { windows 'Zilba Companion' | grep -vx "$main" | head -n 1 || true; }
# Prints "gone" once window $1 is no longer shown.
gone() { windows 'Zilba Companion' | grep -qx "$1" || echo gone; }
press() {
  x windowfocus --sync "$1" >/dev/null 2>&1 || true
  x key --clearmodifiers "$2"
}
# Waits up to $1 seconds for the command after it to print something, and prints that.
await() {
  local seconds=$1 found
  shift
  for _ in $(seq $((seconds * 5))); do
    found=$("$@")
    [ -n "$found" ] && { echo "$found"; return 0; }
    sleep 0.2
  done
  return 1
}
