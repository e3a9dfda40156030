#!/usr/bin/env bash
# Draws a short image sequence with ffmpeg: a disc whose colour runs once round the colour wheel
# and whose hand turns once round, over FRAMES frames (default 12) of SIZE x SIZE pixels
# (default 64), as straight RGBA PNG files DIR/clock_0001.png ... (transparent outside the disc).
# The sequence of examples/sequence.json (examples/assets/clock/) and of the guide's picture of
# a layer that changes.
#
# usage: draw-sequence.sh DIR [FRAMES] [SIZE]
set -euo pipefail

dir=$1
frames=${2:-12}
size=${3:-64}
mkdir -p "$dir"

c=$(awk "BEGIN { print ($size - 1) / 2 }")  # the centre
r=$(awk "BEGIN { print $size / 2 - 1.5 }")   # the disc's radius
hand="st(0,X-$c);st(1,Y-$c);st(2,2*PI*N/$frames);\
st(3,ld(0)*sin(ld(2))-ld(1)*cos(ld(2)));st(4,abs(ld(0)*cos(ld(2))+ld(1)*sin(ld(2))));\
between(ld(3),-$size/32,$r*0.75)*lt(ld(4),$size/21)"
# Each colour channel: white on the hand, else a cosine a third of a turn from the others'.
channel() { echo "if($hand,255,128+127*cos(2*PI*N/$frames+$1))"; }

# Alpha: the disc, its edge anti-aliased over one pixel.
alpha="clip(($r+0.5-hypot(X-$c,Y-$c))*255,0,255)"

ffmpeg -hide_banner -loglevel error -y \
  -f lavfi -i "color=c=black@0:s=${size}x${size}:r=$frames:d=1,format=rgba" \
  -vf "geq=r='$(channel 0)':g='$(channel -2*PI/3)':b='$(channel 2*PI/3)':a='$alpha'" \
  -frames:v "$frames" -start_number 1 "$dir/clock_%04d.png"
