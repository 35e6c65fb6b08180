#!/usr/bin/env bash
# The pictures of the main window in docs/images, taken from the real
# program on a virtual X server: a simulated nine-wavelength meter (30
# samples a second, a dive every minute) on a pseudo-terminal mapped to
# COM1, opened at start; the A and C curves of a live run, then the strip
# chart of a second run zoomed on all traces.
# Needs Xvfb, xdotool and ImageMagick's import.
# Usage: scripts/screenshots.sh [build-dir] [output-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tools
build=${1:-build}
out=${2:-docs/images}
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing" >&2; exit 1; }
done
cmake --build "$build" --target sondrix sondrix-sim >/dev/null
mkdir -p "$out"

# shellcheck source=lib/live_session.sh
. scripts/lib/live_session.sh
start_xvfb
start_meter --rate 30 --dive-seconds 60
start_sondrix

key F1
sleep 14
import -window "$window" "$out/main-window-spectrum.png"
save_run first.dat

click 66 8    # Display
click 100 51  # Strip Chart
key F1
sleep 25
click 964 593  # All traces
sleep 8
import -window "$window" "$out/main-window-strip-chart.png"
save_run second.dat
echo "screenshots: $out/main-window-spectrum.png $out/main-window-strip-chart.png"
