#!/usr/bin/env bash
# Renders the PNG sizes of the application icon from its SVG after the SVG
# was changed (needs rsvg-convert, Debian package librsvg2-bin). The PNGs are
# kept in the tree, so building does not need it.
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" org.tessaly.orvanel.svg -o "org.tessaly.orvanel-$size.png"
done
