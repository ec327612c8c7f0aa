#!/usr/bin/env bash
# Each window program's desktop entry is valid and names the program and its
# icon; the icon is drawn in the map's colours (black frames, magenta and
# blue cells, both present), at each size it claims, the SVG drawn at a size
# giving the PNG's very pixels; the two programs' icons differ.
#
#   desktop_check.sh DESKTOP_DIR ICON_DIR BIN_DIR
set -euo pipefail

desktop_dir=$1
icon_dir=$2
bin_dir=$3

fail() {
  echo "desktop_check: $*" >&2
  exit 1
}
for tool in desktop-file-validate rsvg-convert identify compare convert; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for program in halvorn kestane; do
  entry=$desktop_dir/$program.desktop
  said=$(desktop-file-validate "$entry" 2>&1) || fail "$entry is not valid: $said"
  [ -z "$said" ] || fail "desktop-file-validate on $entry: $said"
  key() { sed -n "s/^$1=//p" "$entry"; }
  [ "$(key Exec)" = "$program" ] || fail "$entry runs \"$(key Exec)\""
  [ -x "$bin_dir/$(key Exec)" ] || fail "$entry runs a program the build does not make"
  [ "$(key Icon)" = "$program" ] || fail "$entry shows the icon \"$(key Icon)\""

  for size in 48 64 128 256; do
    png=$icon_dir/$program-$size.png
    [ "$(identify -format '%m %wx%h' "$png")" = "PNG ${size}x${size}" ] ||
      fail "$png is not a ${size}x${size} PNG image"
    colours=$(convert "$png" -format '%c' histogram:info:- | grep -o '#[0-9A-F]\{6\}' | sort | tr '\n' ' ')
    [ "$colours" = "#000000 #0000FF #FF00FF " ] ||
      fail "$png is not in the map's colours (black, blue, magenta): $colours"
    # At 48 pixels a frame is one pixel where the SVG's is three quarters.
    [ "$size" -ne 48 ] || continue
    rsvg-convert -w "$size" -h "$size" "$icon_dir/$program.svg" -o "$work/svg.png"
    differ=$(compare -metric AE "$work/svg.png" "$png" null: 2>&1) || true
    [ "$differ" = 0 ] || fail "$program.svg drawn at $size differs from $png in $differ pixels"
  done
done
! cmp -s "$icon_dir/halvorn-256.png" "$icon_dir/kestane-256.png" || fail "the two icons are the same"
echo "desktop_check: the entries and icons of halvorn and kestane"
