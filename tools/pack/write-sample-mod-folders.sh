#!/bin/sh
# Writes mods/ again from the demo game's sample packages (SampleMods() in tools/writers), which
# define them: each package is unpacked with tarnwick-pack into mods/<name>/. The pack tests build
# every folder back and compare the bytes, so run this after changing a sample mod.
# Usage, from the top of the repository: tools/pack/write-sample-mod-folders.sh [BUILD_DIR]
set -eu
build=${1:-build/default}
temp=$(mktemp -d)
trap 'rm -rf "$temp"' EXIT
"$build/tools/tarnwick-sandbox" "$temp/prefix" >/dev/null
rm -rf mods
mkdir mods
for package in "$temp"/prefix/drive_c/Mods/*.mpi; do
  "$build/tools/pack/tarnwick-pack" unpack "$package" "mods/$(basename "$package" .mpi)" >/dev/null
done
