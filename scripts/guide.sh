#!/usr/bin/env bash
# Renders every picture of the user guide (docs/guide/*.png) from the scenes in docs/scenes/, and
# the demo's contact sheet (docs/demo-contact-sheet.png), with the renderer of the dev build.
# Run by `make guide`, after any change that alters what the effect or the renderer draws. The
# image sequence of changing-layer.json and the video of video-layer.json are drawn here
# (scripts/draw-sequence.sh and scripts/draw-video.sh, with ffmpeg).
set -euo pipefail
cd "$(dirname "$0")/.."

render=${RENDER:-build/dev/tools/quillstreak-render}
scenes=docs/scenes
pictures=docs/guide
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$pictures"

# strip NAME SCENE FRAMES [renderer arguments...]: one picture, docs/guide/NAME.png, from
# docs/scenes/SCENE, or from SCENE itself when it is a path.
strip() {
  local name=$1 scene=$2 frames=$3
  shift 3
  [[ $scene == */* ]] || scene=$scenes/$scene
  "$render" "$scene" --frames "$frames" --out "$work/$name" --sheet-width 240 -q "$@"
  cp "$work/$name/contact_sheet.png" "$pictures/$name.png"
  echo "guide: $pictures/$name.png"
}

strip shutter-angle trail.json 13 \
  --variant "Shutter Angle=0" --variant "Shutter Angle=360" \
  --variant "Shutter Angle=1440" --variant "Shutter Angle=2880"
strip motion-threshold trail.json 13 --set "Shutter Angle=2880" --set "Time Threshold=5" \
  --variant "Motion Threshold=0" --variant "Motion Threshold=4" \
  --variant "Motion Threshold=12" --variant "Motion Threshold=20"
strip time-threshold trail.json 13 --set "Shutter Angle=2880" \
  --variant "Time Threshold=5" --variant "Time Threshold=20" \
  --variant "Time Threshold=100" --variant "Time Threshold=200"
strip samples-scale scale.json 16 \
  --variant "Samples Scale=0" --variant "Samples Scale=0.5" \
  --variant "Samples Scale=1" --variant "Samples Scale=5"
strip samples-rotation rotation.json 16 \
  --variant "Samples Rotation=0" --variant "Samples Rotation=0.5" \
  --variant "Samples Rotation=1" --variant "Samples Rotation=5"
strip fills trail.json 13 \
  --variant "Enable Solid Fill=off; Enable Ramp Fill=off" \
  --variant "Enable Solid Fill=on; Enable Ramp Fill=off" \
  --variant "Enable Solid Fill=off; Enable Ramp Fill=on" \
  --variant "Enable Solid Fill=on; Enable Ramp Fill=on"
strip opacity trail.json 13 \
  --variant "Opacity=100" --variant "Opacity=60" --variant "Opacity=30" --variant "Opacity=0"
strip motion-source motion-source.json 4,14 \
  --variant "Motion Source=none" --variant "Motion Source=1"
strip motion-source-start motion-source-start.json 8,22 \
  --variant "Motion Source=none" --variant "Motion Source=1"

# A layer that changes: its sequence drawn beside a copy of its scene.
scripts/draw-sequence.sh "$work/changing/clock" 24 56
cp "$scenes/changing-layer.json" "$work/changing/"
strip changing-layer "$work/changing/changing-layer.json" 14 \
  --variant "Shutter Angle=0" --variant "Shutter Angle=720" \
  --variant "Shutter Angle=1440" --variant "Shutter Angle=2880"

# A video layer: its video drawn beside a copy of its scene.
mkdir -p "$work/video"
scripts/draw-video.sh "$work/video/clock.mov" 12 56
cp "$scenes/video-layer.json" "$work/video/"
strip video-layer "$work/video/video-layer.json" 4,8,14,20 --contact-sheet

"$render" --out "$work/demo" --contact-sheet -q
cp "$work/demo/contact_sheet.png" docs/demo-contact-sheet.png
echo "guide: docs/demo-contact-sheet.png"
