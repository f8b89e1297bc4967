#!/usr/bin/env bash
# Starts a program on the current X display, waits until it shows a window whose title matches,
# optionally runs an action while the window is up, then stops the program.
#
# usage: packaging/on-window.sh TITLE_REGEX PROGRAM [ARGUMENT...]
# It waits $ON_WINDOW_SECONDS (20) for the window. The action, if any, is the command line in $ON_WINDOW; it gets the window's id in $WINDOW_ID.
# Exit status 0 when the window showed (and the action succeeded), 1 otherwise. A message box
# instead of the window (the game not found, say) does not match the main window's title.
set -euo pipefail

title=${1:?usage: on-window.sh TITLE_REGEX PROGRAM [ARGUMENT...]}
shift
[ -n "${DISPLAY:-}" ] || {
  echo "on-window: no X display (run it under xvfb-run)" >&2
  exit 1
}

# In a group of its own, so that stopping it also stops what it started (xdg-open runs the
# program it looks up as its child).
setsid "$@" &
program=$!
stop() {
  kill -- "-$program" 2>/dev/null || true
  wait "$program" 2>/dev/null || true
}
trap stop EXIT

seconds=${ON_WINDOW_SECONDS:-20}
window=
for _ in $(seq 1 $((seconds * 5))); do
  if ! kill -0 "$program" 2>/dev/null; then
    status=0
    wait "$program" || status=$?
    trap - EXIT
    echo "on-window: '$*' ended with status $status before showing its window" >&2
    exit 1
  fi
  window=$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  sleep 0.2
done
if [ -z "$window" ]; then
  echo "on-window: '$*' showed no window titled like '$title' within $seconds seconds; it shows:" >&2
  xdotool search --onlyvisible --name '.' getwindowname %@ >&2 2>/dev/null || true
  exit 1
fi
echo "on-window: '$*' shows \"$(xdotool getwindowname "$window")\""
if [ -n "${ON_WINDOW:-}" ]; then
  WINDOW_ID=$window bash -c "$ON_WINDOW"
fi
