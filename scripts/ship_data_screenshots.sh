#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The pictures of a live run with the ship's data in docs/images: the
# simulated meter on COM1, a GPS receiver on COM2 and a thermosalinograph
# broadcasting over UDP, the valve on a schedule; the read-outs under the
# graph while the lines come, then once the thermosalinograph has been
# silent for more than 30 s (stale); before them, the Ship Data dialog.
# Needs Xvfb, xdotool and ImageMagick's import.
# Usage: scripts/ship_data_screenshots.sh [build-dir] [output-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=lib/pictures.sh
. scripts/lib/pictures.sh "$@"
start_meter --rate 30 --dive-seconds 60
start_receiver --start=-33.85,151.27 --speed 9 --heading 60
valve_schedule=30,5,0
# Lines for 12 s, then silence.
start_tsg --tsg-dropout 12:600
start_sondrix

# Configure > Ship Data... as the settings left it.
key alt+c
sleep 1
xdotool key s
dialog=$(await '^Ship Data$')
sleep 0.5
import -window "$dialog" "$out/ship-data-dialog.png"
xdotool key Escape
sleep 1

key F1
sleep 8
import -window "$window" "$out/main-window-ship-data.png"
sleep 34
import -window "$window" "$out/main-window-ship-data-stale.png"
key F2
echo "screenshots: $out/ship-data-dialog.png $out/main-window-ship-data.png $out/main-window-ship-data-stale.png"
