#!/usr/bin/env bash
# Screenshots of the six graphs under Xvfb, replaying a simulated capture of
# the nine-wavelength meter, into docs/images. Needs a build with the Qt
# backend (build/bench/display_bench), Xvfb and ImageMagick's import
# (apt-get install xvfb imagemagick).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
out=$top/docs/images
work=$(mktemp -d)
trap 'kill "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT

"$build/tools/sim/sondrix-sim" --device "$top/examples/nerit-9wl.dev" --out "$work/x.raw" --packets 200 --quiet
"$build/tools/cli/sondrix-cli" record --device "$top/examples/nerit-9wl.dev" --port "$work/x.raw" \
  --out "$work/nerit.dat" > /dev/null

shoot() {  # display, screen size, file, graph, extra environment
  local display=$1 size=$2 file=$3 graph=$4
  shift 4
  Xvfb "$display" -screen 0 "${size}x24" > /dev/null 2>&1 &
  xvfb=$!
  sleep 1
  env DISPLAY="$display" "$@" "$build/bench/display_bench" show "$work/nerit.dat" \
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
names=(xy-graph strip-chart temperature-graph depth-graph spectrum-bars spectrum-curves)
for graph in 1 2 3 4 5 6; do
  shoot "$screen" 1400x900 "${names[graph - 1]}.png" "$graph"
done
# The same window on a screen scaled by 1.5.
shoot "$screen" 1900x1250 spectrum-curves-hidpi.png 6 QT_SCALE_FACTOR=1.5
ls -l "$out"
