#!/usr/bin/env bash
# Renders packaging/qynsample.svg into the PNG sizes the desktop's icon theme asks for
# (packaging/icons/qynsample-SIZE.png). Run after changing the SVG and commit the PNGs:
# the build uses the committed files and needs no renderer. Needs rsvg-convert (librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../packaging"
for size in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" qynsample.svg -o "icons/qynsample-$size.png"
done
