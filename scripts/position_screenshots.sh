#!/usr/bin/env bash
# The pictures of a live run with a GPS receiver in docs/images: the
# simulated meter on COM1, the simulated receiver on COM2; first with a
# live fix under the graph, then once the receiver has fallen silent for
# more than ten seconds (stale), then with an event being marked (F5).
# Needs Xvfb, xdotool and ImageMagick's import.
# Usage: scripts/position_screenshots.sh [build-dir] [output-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=lib/pictures.sh
. scripts/lib/pictures.sh "$@"
start_meter --rate 30 --dive-seconds 60
# Sentences for 14 s, then silence.
start_receiver --start=-33.85,151.27 --speed 9 --heading 60 --nmea-dropout 14:600
start_sondrix

key F1
sleep 8
import -window "$window" "$out/main-window-position.png"
key F5
sleep 1
xdotool type "CTD at 5 m"
import -window root -crop 420x200+0+0 "$out/mark-event.png"
xdotool key Escape
sleep 16
import -window "$window" "$out/main-window-position-stale.png"
key F2
echo "screenshots: $out/main-window-position.png $out/main-window-position-stale.png $out/mark-event.png"
