#!/usr/bin/env bash
# Takes docs/windows-screenshot.png from the Windows window program under Wine on a virtual
# screen: the demo game with one sample mod installed and another chosen, as a player would leave
# it. Wine draws the window frames itself, as Windows does. Run it again when the window changes.
#
# usage: packaging/windows-screenshot.sh BUILD_DIR [OUTPUT.png]
# BUILD_DIR is a Windows build (make check-windows leaves one in build/windows). Needs Wine,
# xvfb-run, xdotool and ImageMagick.
set -euo pipefail
source_dir=$(realpath "$(dirname "$0")/..")
build=$(realpath "${1:?usage: windows-screenshot.sh BUILD_DIR [OUTPUT.png]}")
output=$(realpath -m "${2:-$source_dir/docs/windows-screenshot.png}")
for tool in wine xvfb-run xdotool import; do
  command -v "$tool" >/dev/null || { echo "windows-screenshot: $tool is missing" >&2; exit 1; }
done
cmake --build "$build" --target winapp_scene tarnwick tarnwick-win >/dev/null

prefix=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-wine-XXXXXX")
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT
mkdir -p "$(dirname "$output")"

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  build=$1 output=$2
  wineboot -i >/dev/null 2>&1
  wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null
  wine "$build/tests/winapp/winapp_scene.exe"
  wine "$build/src/winapp/tarnwick.exe" install --yes "C:\\Mods\\blaster-sound.mpi" >/dev/null
  wine "$build/src/winapp/tarnwick-win.exe" "C:\\Mods\\trooper-graphics.mpi" &
  for _ in $(seq 1 100); do
    main=$(xdotool search --onlyvisible --name "^Tarnwick \\(v" 2>/dev/null | head -n 1 || true)
    readme=$(xdotool search --onlyvisible --name "^Readme file$" 2>/dev/null | head -n 1 || true)
    [ -n "$main" ] && [ -n "$readme" ] && break
    sleep 0.2
  done
  [ -n "$main" ] || { echo "windows-screenshot: the window did not open" >&2; exit 1; }
  # The readme opens in the middle of the screen; the picture shows the main window beside it.
  [ -z "$readme" ] || xdotool windowmove "$readme" 490 60
  xdotool windowmove "$main" 40 60
  sleep 1
  import -window root -crop 980x410+30+50 +repage "$output"
' run "$build" "$output"
echo "$output"
