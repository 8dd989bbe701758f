#!/usr/bin/env bash
# Renders the PNG icons from resources/icons/vellumgranary.svg (needs rsvg-convert from
# librsvg2-bin). The PNGs are committed, so the build does not need it; run this after
# changing the drawing.
set -euo pipefail
icons="$(cd "$(dirname "$0")/../resources/icons" && pwd)"
for size in 48 128 256; do
  rsvg-convert -w "$size" -h "$size" "$icons/vellumgranary.svg" -o "$icons/vellumgranary-$size.png"
done
