#!/usr/bin/env bash
# Runs the cross-built test programs of a build folder under Wine, in a throwaway prefix that holds
# the registry values the registry tests read back. Fails when any test program fails.
set -euo pipefail
build=${1:?usage: run-under-wine.sh BUILD_FOLDER}
command -v wine >/dev/null || { echo "wine is missing: run make deps-windows" >&2; exit 1; }

prefix=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-wine-XXXXXX")
export WINEPREFIX=$prefix WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT

wineboot -i >/dev/null 2>&1

reg_add() { wine reg add "$@" /f >/dev/null; }
wow='HKLM\Software\Wow6432Node'
lucasarts='LucasArts Entertainment Company LLC'
reg_add "$wow\\$lucasarts\\Star Wars Galactic Battlegrounds: Clone Campaigns\\1.0" \
  /v 'Game Path' /t REG_SZ /d 'C:\Program Files\LucasArts\SWGB CC\'
reg_add "$wow\\$lucasarts\\Star Wars Galactic Battlegrounds\\1.0" \
  /v 'Game Path' /t REG_SZ /d 'D:\Games\Galactic Battlegrounds\'
reg_add "$wow\\Tarnwick Tests" /v Expandable /t REG_EXPAND_SZ /d '%SystemDrive%\Games\'
reg_add "$wow\\Tarnwick Tests" /v Fits /t REG_SZ /d "$(printf 'f%.0s' {1..1023})"
reg_add "$wow\\Tarnwick Tests" /v 'Too long' /t REG_SZ /d "$(printf 't%.0s' {1..1024})"
reg_add "$wow\\Tarnwick Tests" /v Number /t REG_DWORD /d 7
# Wine takes the arguments in the locale's character set.
LC_ALL=C.UTF-8 reg_add "$wow\\Tarnwick Tests" /v Unicode /t REG_SZ /d 'C:\Игры\SWGB\'
# Only in the 64-bit view, which a reader of the 32-bit view must not see.
reg_add 'HKLM\Software\Tarnwick Tests 64' /v 'Game Path' /t REG_SZ /d 'C:\Elsewhere\'

ctest --test-dir "$build" --output-on-failure --timeout 600
