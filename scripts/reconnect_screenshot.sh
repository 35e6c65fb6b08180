#!/usr/bin/env bash
# The picture of a live run waiting for its serial line in docs/images: the
# simulated meter behind a link (as a USB adapter behind its
# /dev/serial/by-id name) is unplugged eight seconds into the run and stays
# away; the banner over the graph says so and counts the gap.
# Needs Xvfb, xdotool and ImageMagick's import.
# Usage: scripts/reconnect_screenshot.sh [build-dir] [output-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=lib/pictures.sh
. scripts/lib/pictures.sh "$@"
start_meter --rate 30 --dive-seconds 60 --unplug 9:600 --link "$home/ttyMeter"
# COM1 is the link, not the terminal behind it.
sed -i "s|^COM1=.*|COM1=$home/ttyMeter|" "$home/Sondrix.ini"
start_sondrix

key F1
sleep 21
import -window "$window" "$out/main-window-line-away.png"
key F2
echo "screenshot: $out/main-window-line-away.png"
