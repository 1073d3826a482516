#!/usr/bin/env bash
# Renders the application icon's PNG sizes from packaging/icons/arkelin.svg
# (needs rsvg-convert from librsvg2-bin). The PNGs are committed, so the build
# and the package do not need this; run it again after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")/../packaging/icons"
for s in 16 22 24 32 48 64 128 256 512; do
  rsvg-convert -w "$s" -h "$s" arkelin.svg -o "arkelin-$s.png"
done
