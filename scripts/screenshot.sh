#!/bin/sh
# Regenerates docs/window.png, the README's picture of the window: the real
# form, offscreen, after loading samples/quadrilateral.bmp with Load's loader
# (not its dialog) and running edge detection.
#
# Fontconfig is pointed at a folder without CJK fonts, so the picture shows
# what a machine with no Chinese font installed gets from the bundled subset.
#
#   scripts/screenshot.sh [OUT.png]
#
# Builds in build/default (the default preset); BUILD_DIR=... uses another
# configured build folder instead.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs/window.png}
build=${BUILD_DIR:-$root/build/default}

cd "$root"
[ -f "$build/build.ninja" ] || [ -n "${BUILD_DIR:-}" ] || cmake --preset default
cmake --build "$build" --target quadfind-window-shot

fonts=$(mktemp -d)
trap 'rm -rf "$fonts"' EXIT
{
    echo '<?xml version="1.0"?><!DOCTYPE fontconfig SYSTEM "fonts.dtd"><fontconfig>'
    [ -d /usr/share/fonts/truetype/dejavu ] && echo '<dir>/usr/share/fonts/truetype/dejavu</dir>'
    echo "<cachedir>$fonts/cache</cachedir></fontconfig>"
} > "$fonts/fonts.conf"

mkdir -p "$(dirname "$out")"
FONTCONFIG_FILE=$fonts/fonts.conf QT_QPA_PLATFORM=offscreen \
    "$build/app/quadfind-window-shot" samples/quadrilateral.bmp "$out"
echo "wrote $out"
