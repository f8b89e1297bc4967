#!/usr/bin/env bash
# Takes docs/screenshot.png from the real program: on the demo game under Xvfb, one sample mod
# installed and another chosen, as a player would leave it. Run it again when the window changes.
#
# usage: packaging/screenshot.sh BUILD_DIR [OUTPUT.png]
# BUILD_DIR holds src/app/tarnwick and tools/tarnwick-sandbox (`make package` builds both;
# `make screenshot` runs this). Needs xvfb-run, xdotool and ImageMagick (make deps-package).
set -euo pipefail

source_dir=$(realpath "$(dirname "$0")/..")
build_dir=$(realpath "${1:?usage: screenshot.sh BUILD_DIR [OUTPUT.png]}")
output=$(realpath -m "${2:-$source_dir/docs/screenshot.png}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build_dir/tools/tarnwick-sandbox" "$work/prefix" >/dev/null
mods=$work/prefix/drive_c/Mods
[ -f "$mods/trooper-graphics.mpi" ] && [ -f "$mods/blaster-sound.mpi" ] || {
  echo "screenshot: the demo game lacks its sample mods" >&2
  exit 1
}
mkdir -p "$(dirname "$output")" "$work/home"

# Driven through the keyboard and the buttons' places in the window, as a player would; every
# step waits for the window it expects, so a changed window fails here instead of in the picture.
cat >"$work/drive.sh" <<'EOF'
set -euo pipefail
wait_for() {  # TITLE_REGEX: the id of the newest visible window titled like it
  for _ in $(seq 1 50); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.2
  done
  echo "screenshot: no window titled like '$1'" >&2
  exit 1
}
gone() {  # WINDOW_ID
  for _ in $(seq 1 50); do
    xdotool getwindowname "$1" >/dev/null 2>&1 || return 0
    xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable' || return 0
    sleep 0.2
  done
  echo "screenshot: window \"$(xdotool getwindowname "$1")\" did not close; the screen is in" \
    "$OUTPUT.failed.png" >&2
  import -window root "$OUTPUT.failed.png"
  exit 1
}
choose() {  # FILE: through "Open mod" and the file dialog; the mod's readme shows, and is closed
  xdotool mousemove --window "$WINDOW_ID" 44 40 click 1
  dialog=$(wait_for '^Select mod')
  sleep 0.5
  # No window manager gives the dialog the keyboard; synthetic key events to a window Qt ignores.
  xdotool windowfocus --sync "$dialog"
  xdotool type --delay 5 "$1"
  xdotool key Return
  gone "$dialog"
  # The readme window closes with its button along the bottom edge.
  readme=$(wait_for '^Readme file$')
  sleep 0.3
  eval "$(xdotool getwindowgeometry --shell "$readme")"
  xdotool mousemove --window "$readme" $((WIDTH / 2)) $((HEIGHT - 16)) click 1
  gone "$readme"
}
choose "$MODS/trooper-graphics.mpi"
# Install, then the box that says how it went.
xdotool mousemove --window "$WINDOW_ID" 44 64 click 1
box=$(wait_for '^Mod installation$')
sleep 0.3
xdotool windowfocus --sync "$box"
xdotool key Return
gone "$box"
choose "$MODS/blaster-sound.mpi"
xdotool windowfocus --sync "$WINDOW_ID"
sleep 0.5
import -window "$WINDOW_ID" "$OUTPUT"
EOF

env -u QT_QPA_PLATFORM WINEPREFIX="$work/prefix" HOME="$work/home" MODS="$mods" OUTPUT="$output" \
  ON_WINDOW="bash $work/drive.sh" \
  xvfb-run -a -s '-screen 0 1024x768x24' \
  "$source_dir/packaging/on-window.sh" '^Tarnwick \(' "$build_dir/src/app/tarnwick"
echo "screenshot: wrote $output"
