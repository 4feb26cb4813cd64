#!/usr/bin/env bash
# Renders the committed hicolor PNGs of the application icon (dist/icons/png/): 16, 24 and 32
# from their pixel-grid drawings in dist/icons/small/, the larger sizes from the scalable drawing.
# Needs rsvg-convert (Debian package librsvg2-bin). Run it after changing a drawing, look at
# the results, and commit them.
set -euo pipefail
cd "$(dirname "$0")/../dist/icons"
for size in 16 24 32; do
    rsvg-convert "small/$size.svg" -o "png/$size.png"
done
for size in 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" org.glyphwright.Glyphwright.svg -o "png/$size.png"
done
