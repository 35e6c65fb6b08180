#!/usr/bin/env bash
# The hyperspectral meter's offset calibration in the real program, by hand
# on a virtual X server: the simulated meter on COM1 (opened at start),
# File > Edit Configuration..., "Calibrate offsets" over 400 samples, a
# picture of the wait message while it counts, Cancel, and a picture of the
# configuration panel afterwards. Pictures go to the given folder.
#
# Needs Xvfb, xdotool and ImageMagick's import.
# Usage: scripts/calibration_walk.sh [build-dir] [picture folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=$(realpath -m "${2:-calibration-walk}")
mkdir -p "$out"
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "calibration_walk: $tool is missing" >&2; exit 1; }
done

meter_device=examples/benth-100wl.dev
# shellcheck source=lib/live_session.sh
. scripts/lib/live_session.sh
start_xvfb
start_meter
start_sondrix

# File > Edit Configuration... (the window sits at the top left, under no
# window manager; the menu bar is 19 pixels high).
click 20 9
click 90 119
sleep 2
editor=$(xdotool search --sync --onlyvisible --name 'Hyperspectral Meter Configuration' | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$editor")"
# 400 samples (the field at top 392, left 370), then "Calibrate offsets"
# (top 390, left 230, 130 x 26).
xdotool mousemove $((X + 405)) $((Y + 403)) click 1 key ctrl+a type 400
xdotool key Tab
xdotool mousemove $((X + 295)) $((Y + 403)) click 1
sleep 4
import -window root "$out/calibration-counting.png"
sleep 4
import -window root "$out/calibration-counting-later.png"
wait_window=$(xdotool search --onlyvisible --name 'Please wait' | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$wait_window")"
# Cancel: top 110, left 300 of the wait panel, 90 x 28.
xdotool mousemove $((X + 345)) $((Y + 124)) mousedown 1
sleep 0.1
xdotool mouseup 1
sleep 2
import -window root "$out/calibration-cancelled.png"
echo "pictures in $out"
