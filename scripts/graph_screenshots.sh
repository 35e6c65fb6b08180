#!/usr/bin/env bash
# Screenshots of the graphs under Xvfb, replaying simulated recordings, into
# docs/images: the six graphs with the nine-wavelength meter, and the two
# spectrum graphs with the hyperspectral meter (100 wavelengths).
#
#   scripts/graph_screenshots.sh [BUILD-DIR] [all|nine|hyperspectral]
#
# Needs a build with the Qt backend (build/bench/display_bench), Xvfb and
# ImageMagick's import (apt-get install xvfb imagemagick).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
which=${2:-all}
case $which in
  all | nine | hyperspectral) ;;
  *) echo "usage: $0 [BUILD-DIR] [all|nine|hyperspectral]" >&2; exit 2 ;;
esac
out=$top/docs/images
work=$(mktemp -d)
trap 'kill "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT

record() {  # device file, packets, recording; its first sample at 14:05:00 UTC
  "$build/tools/sim/sondrix-sim" --device "$top/examples/$1" --out "$work/x.raw" --packets "$2" --quiet
  "$build/tools/cli/sondrix-cli" record --device "$top/examples/$1" --port "$work/x.raw" \
    --out "$work/$3" --start-utc 2026-12-10T14:05:00Z > /dev/null
}

outage() {  # recording, line, seconds: the lines from that one on come so much later (a line away)
  awk -F '\t' -v OFS='\t' -v from="$2" -v ms="$(($3 * 1000))" \
    'data { if (++n >= from) $1 += ms } /; acquisition binsize/ { data = 1 } { print }' \
    "$work/$1" > "$work/gap.tmp"
  mv "$work/gap.tmp" "$work/$1"
}

shoot() {  # recording, display, screen size, file, graph, extra environment
  local data=$1 display=$2 size=$3 file=$4 graph=$5
  shift 5
  Xvfb "$display" -screen 0 "${size}x24" > /dev/null 2>&1 &
  xvfb=$!
  sleep 1
  env DISPLAY="$display" "$@" "$build/bench/display_bench" show "$work/$data" \
    --graph "$graph" --zoom --hold 5 > /dev/null 2>&1 &
  local app=$!
  sleep 4
  DISPLAY=$display import -window root "$work/root.png"
  wait "$app"
  kill "$xvfb"
  wait "$xvfb" 2>/dev/null || true
  # The window sits at the top left corner of the screen (no window manager).
  convert "$work/root.png" -trim +repage "$out/$file"
}

# A display number of its own, so that other X servers on the machine are left alone.
screen=${SONDRIX_SCREENSHOT_DISPLAY:-:137}
mkdir -p "$out"
if [ "$which" != hyperspectral ]; then
  record nerit-9wl.dev 200 nerit.dat
  # A line away for 20 s two thirds into the run: the XY graph and the
  # strip chart draw the gap.
  outage nerit.dat 1300 20
  names=(xy-graph strip-chart temperature-graph depth-graph spectrum-bars spectrum-curves)
  for graph in 1 2 3 4 5 6; do
    shoot nerit.dat "$screen" 1400x900 "${names[graph - 1]}.png" "$graph"
  done
  # The same window on a screen scaled by 1.5.
  shoot nerit.dat "$screen" 1900x1250 spectrum-curves-hidpi.png 6 QT_SCALE_FACTOR=1.5
fi
if [ "$which" != nine ]; then
  # One sample a packet: 200 packets give 199 lines (the reset takes one).
  record benth-100wl.dev 200 benth.dat
  shoot benth.dat "$screen" 1400x900 hyperspectral-curves.png 6
  shoot benth.dat "$screen" 1400x900 hyperspectral-bars.png 5
fi
ls -l "$out"
