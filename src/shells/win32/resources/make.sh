#!/usr/bin/env bash
# The Windows program's icon and banner bitmaps, made from the pictures the Qt shell shows
# (../../qt/resources, drawn by draw_images.cpp), so both programs look the same. Not part of
# the build; run again (ImageMagick 6) after the pictures change, and commit what it writes.
set -euo pipefail
cd "$(dirname "$0")"
pictures=../../qt/resources
for side in left right; do
  # 256 colours, uncompressed, the plain Windows 3 header every Windows reads.
  convert "$pictures/banner-$side.png" -type Palette -compress None "BMP3:banner-$side.bmp"
done
convert "$pictures"/icon-{16,32,48,64}.png ZilbaCompanion.ico
