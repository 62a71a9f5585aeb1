#!/usr/bin/env bash
# Renders the PNG sizes of the application icon from its SVG drawing
# (resources/icons/quorrel-keyloom.svg). The PNGs are committed, so that the
# build needs no SVG renderer; run this after changing the drawing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
icons="$here/resources/icons"
for size in 16 32 48 64 128 256; do
  rsvg-convert --width "$size" --height "$size" "$icons/quorrel-keyloom.svg" -o "$icons/quorrel-keyloom-$size.png"
done
