#!/usr/bin/env bash
# Renders the committed PNG icon sizes from the SVG (needs ImageMagick). Run after editing the SVG.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
for size in 16 32 48 64 128 256; do
  convert -background none -density 384 io.github.quorvin.Quorvin.svg -resize "${size}x${size}" "png32:icons/$size.png"
done
