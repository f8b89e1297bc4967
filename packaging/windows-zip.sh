#!/usr/bin/env bash
# Packs the Windows programs of a Release build into OUTPUT_DIR/tarnwick-windows-<version>.zip:
# one folder with the window program, the console program and the players' readme (CRLF line
# ends, as Notepad wants them). The programs are linked statically: nothing else to install.
#
# usage: packaging/windows-zip.sh BUILD_DIR OUTPUT_DIR
set -euo pipefail
source_dir=$(realpath "$(dirname "$0")/..")
build_dir=$(realpath "${1:?usage: windows-zip.sh BUILD_DIR OUTPUT_DIR}")
output_dir=$(realpath -m "${2:?usage: windows-zip.sh BUILD_DIR OUTPUT_DIR}")

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
[ -n "$version" ] || { echo "windows-zip: no project version in $build_dir" >&2; exit 1; }
name=tarnwick-windows-$version
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/$name" "$output_dir"

for program in tarnwick-win.exe tarnwick.exe; do
  x86_64-w64-mingw32-strip -o "$work/$name/$program" "$build_dir/src/winapp/$program"
done
# Only system DLLs may be named: MinGW's runtime is linked in.
for program in "$work/$name"/*.exe; do
  if x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^\s*DLL Name: //p' |
    grep -viE '^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|advapi32|ole32|msvcrt|ws2_32|bcrypt|api-ms-win-[a-z0-9-]+)\.dll$'; then
    echo "windows-zip: $(basename "$program") needs a DLL that Windows does not have" >&2
    exit 1
  fi
done
sed 's/$/\r/' "$source_dir/packaging/windows-readme.txt" >"$work/$name/README.txt"

# The same bytes from the same sources: fixed times, sorted names, no extra attributes.
find "$work/$name" -exec touch -h -d @"${SOURCE_DATE_EPOCH:-1700000000}" {} +
rm -f "$output_dir/$name.zip"
(cd "$work" && find "$name" | LC_ALL=C sort | zip -X -q -@ "$output_dir/$name.zip")
echo "$output_dir/$name.zip"
