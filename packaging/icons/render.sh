#!/usr/bin/env bash
# Renders the program's icon from tallyfair.svg (rsvg-convert, librsvg2-bin) into the PNG sizes the
# desktop's icon theme uses. Run it after changing the drawing:
#   bash packaging/icons/render.sh
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" -o "tallyfair-$size.png" tallyfair.svg
done
