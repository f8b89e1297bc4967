#!/usr/bin/env bash
# What a fresh Debian machine does with the package, checked: its metadata validates, lintian finds
# no error, it installs with apt, the menu entry is the .mpi handler, the installed program runs on
# the demo game, and removing it leaves none of its files behind.
#
# usage: packaging/check-package.sh BUILD_DIR   (as root: it installs and removes the package)
# BUILD_DIR holds tarnwick_*.deb and tools/tarnwick-sandbox (`make package` builds both).
set -euo pipefail

build_dir=$(realpath "${1:?usage: check-package.sh BUILD_DIR}")
source_dir=$(realpath "$(dirname "$0")/..")
debs=("$build_dir"/tarnwick_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || {
  echo "check-package: expected one tarnwick_*.deb in $build_dir" >&2
  exit 1
}
deb=${debs[0]}
mime_type=application/x-tarnwick-mpi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

step() { printf '\n== %s\n' "$*"; }
fail() {
  echo "check-package: $*" >&2
  exit 1
}

step "Contents of $(basename "$deb")"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"
dpkg-deb -x "$deb" "$work/root"
# Debian's games section keeps a package's programs in /usr/games; a copy in /usr/bin as well
# would be a second install rule for the same program.
if [ -d "$work/root/usr/bin" ]; then
  fail "programs in /usr/bin: $(ls "$work/root/usr/bin"); they belong in /usr/games only"
fi
# The mod packer ships beside the program wherever the source has it.
if [ -d "$source_dir/tools/pack" ]; then
  [ -x "$work/root/usr/games/tarnwick-pack" ] || fail "the package lacks tarnwick-pack"
fi
# Computed from the program's libraries, not written by hand.
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends does not name Qt 6 Widgets"

step "Desktop entry, file type and AppStream metadata"
desktop=$work/root/usr/share/applications/tarnwick.desktop
desktop-file-validate "$desktop"
grep -qx 'Exec=tarnwick %f' "$desktop" || fail "the menu entry does not pass the opened file"
grep -qx "MimeType=$mime_type;" "$desktop" || fail "the menu entry does not handle $mime_type"
grep -qx 'Categories=Game;Utility;' "$desktop" || fail "the menu entry is not under Game and Utility"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/io.github.tarnwick.Tarnwick.metainfo.xml"
# The same in place: its launchable is the menu entry that the package installs.
appstreamcli validate-tree --no-net "$work/root"

step "Icons"
for size in 16 22 24 32 48 64 128 256; do
  icon=$work/root/usr/share/icons/hicolor/${size}x${size}/apps/tarnwick.png
  file -b "$icon" | grep -q "^PNG image data, $size x $size," || fail "no $size px icon: $icon"
done

step "lintian (errors fail, warnings are shown)"
lintian --fail-on error --tag-display-limit 0 "$deb"

step "Installing with apt"
apt-get install -y --reinstall "$deb"
dpkg -L tarnwick >"$work/files.txt"
cat "$work/files.txt"
[ -x /usr/games/tarnwick ] || fail "/usr/games/tarnwick is not installed"
# Debian puts /usr/games on every user's PATH (login.defs, the desktop session); root's has none.
case ":$PATH:" in *:/usr/games:*) ;; *) PATH=$PATH:/usr/games ;; esac

step "The .mpi file type and its handler"
# A desktop asks this when a file is double-clicked: which type is it, and what opens that type.
handler=$(xdg-mime query default "$mime_type")
echo "xdg-mime query default $mime_type: $handler"
[ "$handler" = tarnwick.desktop ] || fail "$mime_type opens with '$handler', not tarnwick.desktop"
printf 'MPI 0.6 ' >"$work/Some Mod.mpi"
printf 'MPI 0.5 ' >"$work/SHOUTED.MPI"
printf 'MPI 0.6 ' >"$work/named-without-extension"
for file in "$work/Some Mod.mpi" "$work/SHOUTED.MPI" "$work/named-without-extension"; do
  type=$(xdg-mime query filetype "$file")
  echo "xdg-mime query filetype $(basename "$file"): $type"
  [ "$type" = "$mime_type" ] || fail "$(basename "$file") is '$type', not $mime_type"
done

# The command line (`tarnwick --version`, `tarnwick FILE.mpi` choosing the package) comes with
# the source that has src/cli; before it the program takes no arguments, and these two checks
# would only start a window.
has_command_line=false
[ -d "$source_dir/src/cli" ] && has_command_line=true

step "The installed program on the demo game (on a virtual screen)"
"$build_dir/tools/tarnwick-sandbox" "$work/prefix" >/dev/null
mkdir -p "$work/Downloaded mods"
cp "$work/prefix/drive_c/Mods/blaster-sound.mpi" "$work/Downloaded mods/Blaster Sound.mpi" ||
  fail "the demo game has no sample mod"
# The main window's title, not a message box saying the game was not found.
show_window() {
  env -u QT_QPA_PLATFORM WINEPREFIX="$work/prefix" \
    xvfb-run -a "$source_dir/packaging/on-window.sh" '^Tarnwick \(' "$@" ||
    fail "'$*' did not show its main window on the demo game"
}
show_window /usr/games/tarnwick
# Without a game, a message box says so and the main window never shows.
if env WINEPREFIX="$work/no-game" HOME="$work/no-game" ON_WINDOW_SECONDS=10 \
  xvfb-run -a "$source_dir/packaging/on-window.sh" '^Tarnwick \(' /usr/games/tarnwick 2>/dev/null; then
  fail "the main window showed without a game: this check cannot tell"
fi

step "A double-click on a downloaded .mpi"
# xdg-open does what a file manager does: it asks for the file's type and that type's handler,
# and runs the handler's Exec line with %f replaced by the file.
if $has_command_line; then
  # A chosen package opens its readme window beside the main window.
  ON_WINDOW='for _ in $(seq 1 50); do
      xdotool search --onlyvisible --name "^Readme file$" >/dev/null && exit 0; sleep 0.2; done
    echo "check-package: the package was not chosen: no readme window" >&2; exit 1' \
    show_window xdg-open "$work/Downloaded mods/Blaster Sound.mpi"
else
  show_window xdg-open "$work/Downloaded mods/Blaster Sound.mpi"
  echo "(that the package is chosen is not checked: this source has no command line, src/cli)"
fi

if $has_command_line; then
  step "tarnwick --version"
  version=$(env -u DISPLAY -u WAYLAND_DISPLAY timeout 10 tarnwick --version) ||
    fail "'tarnwick --version' failed"
  echo "$version"
  # The packaged version, without the package's own revision.
  packaged=$(dpkg-deb -f "$deb" Version)
  packaged=${packaged%-*}
  grep -Eiq "^tarnwick ${packaged//./\\.}([^0-9]|$)" <<<"$version" ||
    fail "'tarnwick --version' printed '$version', not the packaged version $packaged"
else
  step "tarnwick --version: not checked, this source has no command line (src/cli) yet"
fi

step "Removing"
apt-get remove -y tarnwick
status=$(dpkg-query -W -f='${db:Status-Status}' tarnwick 2>/dev/null || true)
[ -z "$status" ] || [ "$status" = not-installed ] || fail "tarnwick is still '$status' after removal"
left=0
while IFS= read -r path; do
  if [ -f "$path" ] || [ -L "$path" ]; then
    echo "left behind: $path" >&2
    left=1
  fi
done <"$work/files.txt"
[ "$left" -eq 0 ] || fail "removing the package left files behind"
type=$(xdg-mime query filetype "$work/Some Mod.mpi")
[ "$type" != "$mime_type" ] || fail "the .mpi file type is still known after removal"
echo "removed: none of its $(wc -l <"$work/files.txt") paths is left as a file"

step "The package passed"
