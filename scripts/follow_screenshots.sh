#!/usr/bin/env bash
# Pictures of graphs following a run in docs/images, taken from the real
# program on a virtual X server: a simulated nine-wavelength meter (30
# samples a second, a dive every minute) on a pseudo-terminal mapped to
# COM1, opened at start, the XY graph on show and following the last minute.
# The XY graph scrolling with the run; the Display menu during the run; the
# depth graph put on show in the middle of the run (drawn with the lines
# before, its depth axis extended); the graph settings dialog.
# Needs Xvfb, xdotool and ImageMagick's import.
# Usage: scripts/follow_screenshots.sh [build-dir] [output-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=lib/pictures.sh
. scripts/lib/pictures.sh "$@"
start_meter --rate 30 --dive-seconds 60
# The display configuration beside the device file: the XY graph on show,
# following the last minute; every other setting the defaults.
{
  printf 'meter\n0\n1\t; current display\n1\t; collect bin size\n1\t; display bin size\n'
  printf '%s\t' $(seq 0 17)
  printf '; visible traces\n'
  printf '0.00000\t5.00000\t0.00000\t7.00000\t0\t0\t1\t1\t5\t5\t; graph state\n'
  printf '0.00000\t7.00000\t30\t; strip chart state\n'
  printf '0.00000\t35.00000\t0.00000\t7.00000\t0\t0\t1\t1\t5\t5\t; graph state\n'
  printf '0.00000\t20.00000\t0.00000\t7.00000\t0\t0\t1\t1\t5\t5\t; graph state\n'
  printf '0.00000\t5.00000\t410.00000\t720.00000\t0\t0\t1\t1\t5\t5\t; graph state\n'
  printf '0.00000\t5.00000\t410.00000\t720.00000\t0\t0\t1\t1\t5\t5\t; graph state\n'
  printf '1\t1.00000\t0\t1\t; follow: axis, minutes, whole run, values\n'
} >"$home/nerit-9wl.RTC"
start_sondrix

key F1
sleep 80
import -window "$window" "$out/xy-following.png"
click 66 8     # Display
import -window root -crop 1180x300+0+0 "$out/display-menu-during-run.png"
xdotool key Escape
sleep 0.5
click 66 8     # Display
click 100 97   # Depth Graph
sleep 5
import -window "$window" "$out/depth-graph-mid-run.png"
save_run follow.dat

click 66 8     # Display
click 100 28   # XY Graph
click 66 8     # Display
click 117 185  # Graph Settings...
dialog=$(xdotool search --sync --onlyvisible --name 'Graph Settings' | head -n 1)
import -window "$dialog" "$out/graph-settings-follow.png"
xdotool key Escape
echo "follow_screenshots: $out/xy-following.png $out/display-menu-during-run.png" \
  "$out/depth-graph-mid-run.png $out/graph-settings-follow.png"
