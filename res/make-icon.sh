#!/usr/bin/env bash
# Draws the wrapper's icon (a package with a patch across it) and writes an
# icon file with 21 images from 16 to 256 pixels.
# Usage: make-icon.sh OUT.ico
set -euo pipefail
out=$1
convert=/usr/bin/convert   # the real ImageMagick, not a look-alike earlier on PATH
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The drawing, on a 256-pixel canvas.
"$convert" -size 256x256 xc:none \
    -fill '#1d4f91' -stroke '#0f2d57' -strokewidth 8 \
    -draw 'roundrectangle 20,36 236,236 28,28' \
    -fill '#3d7fd6' -stroke none -draw 'rectangle 28,44 228,104' \
    -fill '#f2b233' -stroke '#8a5a00' -strokewidth 6 \
    -draw 'polygon 36,196 196,36 228,68 68,228' \
    -fill '#8a5a00' -stroke none \
    -draw 'circle 118,132 118,125' -draw 'circle 146,132 146,125' \
    -draw 'circle 132,118 132,111' -draw 'circle 132,146 132,139' \
    "$work/master.png"

images=()
for size in 16 20 24 28 30 32 36 40 44 48 56 60 64 72 80 96 112 128 160 192 256; do
    "$convert" "$work/master.png" -filter Lanczos -resize "${size}x${size}" \
        -define png:color-type=6 "$work/$size.png"
    images+=("$work/$size.png")
done
"$convert" "${images[@]}" "$out"
