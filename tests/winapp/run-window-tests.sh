#!/usr/bin/env bash
# Runs the tests of the Windows programs of a build folder under Wine, in a throwaway prefix of
# their own (they write the game's registry keys): the command line's, then the window's on a
# virtual screen. Extra arguments go to both test programs. Fails when a test fails.
set -euo pipefail
# With --programs, the tests of BUILD_FOLDER run on the programs in FOLDER (an unzipped package).
usage="usage: run-window-tests.sh BUILD_FOLDER [--programs FOLDER] [GOOGLETEST_OPTIONS...]"
build=$(realpath "${1:?$usage}")
shift
programs=$build/src/winapp
if [ "${1:-}" = --programs ]; then
  programs=$(realpath "${2:?$usage}")
  shift 2
fi
command -v wine >/dev/null || { echo "wine is missing: run make deps-windows" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing: run make deps-windows" >&2; exit 1; }

prefix=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-wine-XXXXXX")
export WINEPREFIX=$prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT

# One virtual screen for the prefix's start and the tests, at 96 dots per inch as Wine assumes.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -e
  build=$1 programs=$2
  shift 2
  wineboot -i >/dev/null 2>&1
  wine "$build/tests/winapp/console_tests.exe" "$programs/tarnwick.exe" "$@"
  wine "$build/tests/winapp/winapp_tests.exe" "$programs/tarnwick-win.exe" "$@"
' run "$build" "$programs" "$@"
