#!/usr/bin/env bash
# Draws a short video with alpha with ffmpeg: the clock of scripts/draw-sequence.sh (a disc whose
# colour and hand go round once in FRAMES frames, default 12, of SIZE x SIZE pixels, default 64,
# transparent outside the disc) at 12 frames per second, as PNG frames in a QuickTime file (kept
# exactly, alpha included). The video of examples/video.json (examples/assets/clock.mov).
#
# usage: draw-video.sh OUT.mov [FRAMES] [SIZE]
set -euo pipefail

out=$1
frames=${2:-12}
size=${3:-64}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$(dirname "$0")/draw-sequence.sh" "$work" "$frames" "$size"
ffmpeg -hide_banner -loglevel error -y -framerate 12 -start_number 1 -i "$work/clock_%04d.png" \
  -c:v png -pix_fmt rgba "$out"
