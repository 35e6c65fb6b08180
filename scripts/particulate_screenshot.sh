#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The main window with Display > Particulate Values (Underway) on, in
# docs/images: the simulated meter in underway water (sondrix-sim --water
# --underway) whose valve is on filter the first minute of every three
# (the window's valve schedule the same), ten seconds of flushing; once a
# filtered period is complete, the particulate spectrum, then the XY graph
# of the run with the filtered and flushing stretches empty.
# Needs Xvfb, xdotool and ImageMagick's import; takes about five minutes.
# Usage: scripts/particulate_screenshot.sh [build-dir] [output-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=lib/pictures.sh
. scripts/lib/pictures.sh "$@"
start_meter --rate 6 --water 25,35,0.15 --underway 3,1
printf '[ShipData]\nValveSchedule=3,1,0\n[Processing]\nScatter=3\nTCal=20\nSalinity=35\nTemperature=25\nFlush=10\n' \
  >>"$home/Sondrix.ini"
start_sondrix
key ctrl+j
sleep 1
key F1
# A whole filtered period, then the middle of the whole water after one
# (the third minute of a cycle, UTC).
sleep 200
while [ $(( $(date -u +%-M) % 3 )) -ne 2 ] || [ "$(date -u +%-S)" -lt 20 ]; do sleep 1; done
import -window "$window" "$out/main-window-particulate.png"
key alt+d
sleep 0.5
xdotool key x
sleep 2
import -window "$window" "$out/main-window-particulate-xy.png"
key F2
echo "screenshots: $out/main-window-particulate.png $out/main-window-particulate-xy.png"
