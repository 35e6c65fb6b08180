#!/usr/bin/env bash
# Pictures of many traces in docs/images, taken from the real program on a
# virtual X server: a simulated 100-wavelength hyperspectral meter on a
# pseudo-terminal mapped to COM1, opened at start; a run on the strip chart
# (its note says which of the 200 traces it charts, the labels show their
# first page), and the third page of labels during a run on the XY graph.
# Needs Xvfb, xdotool and ImageMagick's import and convert.
# Usage: scripts/trace_screenshots.sh [build-dir] [output-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
meter_device=examples/benth-100wl.dev
# shellcheck source=lib/pictures.sh
. scripts/lib/pictures.sh "$@"
start_meter --rate 6
start_sondrix

shot() { import -window root "$home/root.png"; convert "$home/root.png" -trim +repage "$out/$1"; }

click 66 8    # Display
click 100 51  # Strip Chart
key F1
sleep 10
shot hyperspectral-strip-note.png
save_run strip.dat
click 66 8    # Display
click 100 29  # XY Graph
key F1
sleep 4
key Next      # PgDown: the next page of labels, twice
sleep 0.5
key Next
sleep 4
shot hyperspectral-label-pages.png
echo "trace_screenshots: $out/hyperspectral-strip-note.png $out/hyperspectral-label-pages.png"
