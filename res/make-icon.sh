#!/usr/bin/env bash
# Draws the wrapper's icon (a package with a patch across it) and writes an
# icon file with 21 images from 16 to 256 pixels: up to 64 pixels as
# bitmaps, the larger ones as PNG.
#
# Windows Vista and later read PNG-compressed images in an icon
# (learn.microsoft.com, "Icons" in the Windows app design guidelines);
# under Wine 8, LoadImageW and DrawIconEx took them (tried by hand from 72
# to 256 pixels). As bitmaps, the images from 72 to 192 pixels took 453 KiB
# of the wrapper, as PNG they take 33 KiB. Older systems read only
# bitmaps, which cover the sizes up to 64 pixels. The PNGs are 8 bits a
# channel with alpha (PNG32) and carry no chunk beyond the image itself
# (no date, no time): same drawing, same bytes.
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

# little_endian N BYTES: N as BYTES bytes, the lowest first.
little_endian() {
    local i
    for ((i = 0; i < $2; i++)); do
        printf "\\$(printf %03o $((($1 >> 8 * i) & 255)))"
    done
}

# Each image as its directory entry without the offset (12 bytes) and its
# data; a bitmap's come from ImageMagick's icon of that one image.
sizes=(16 20 24 28 30 32 36 40 44 48 56 60 64 72 80 96 112 128 160 192 256)
for size in "${sizes[@]}"; do
    "$convert" "$work/master.png" -filter Lanczos -resize "${size}x${size}" \
        -define png:exclude-chunk=all "PNG32:$work/$size.png"
    if [ "$size" -le 64 ]; then
        "$convert" "$work/$size.png" "$work/$size.ico"
        head -c 18 "$work/$size.ico" | tail -c 12 > "$work/$size.entry"
        tail -c +23 "$work/$size.ico" > "$work/$size.data"
    else
        cp "$work/$size.png" "$work/$size.data"
        # Width and height 0 stand for 256; one plane, 32 bits per pixel.
        { little_endian $((size & 255)) 1; little_endian $((size & 255)) 1; little_endian 0 2
          little_endian 1 2; little_endian 32 2; little_endian "$(stat -c %s "$work/$size.data")" 4
        } > "$work/$size.entry"
    fi
done

# The file: header, directory, then the images in the same order.
{
    little_endian 0 2; little_endian 1 2; little_endian ${#sizes[@]} 2
    offset=$((6 + 16 * ${#sizes[@]}))
    for size in "${sizes[@]}"; do
        cat "$work/$size.entry"
        little_endian "$offset" 4
        offset=$((offset + $(stat -c %s "$work/$size.data")))
    done
    for size in "${sizes[@]}"; do
        cat "$work/$size.data"
    done
} > "$out"
