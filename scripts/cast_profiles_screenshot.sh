#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The main window with Display > Cast Profiles on, in docs/images: the
# simulated meter diving to 30 m and back every two minutes; once the
# first cast is over and the second is 15 m down, the depth graph with the
# second down-cast's bins (mean and spread) over the first cast in grey,
# then the Cast List.
# Needs Xvfb, xdotool and ImageMagick's import; takes about three minutes.
# Usage: scripts/cast_profiles_screenshot.sh [build-dir] [output-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=lib/pictures.sh
. scripts/lib/pictures.sh "$@"
start_meter --rate 6 --max-depth 30 --dive-seconds 120 --value-noise 0.004
printf '[Profiles]\nBinSize=1\nSmooth=2\n' >>"$home/Sondrix.ini"
start_sondrix
# Display > Depth Graph, Display > Cast Profiles, then the run.
key alt+d
sleep 0.5
xdotool key d
sleep 0.5
key alt+d
sleep 0.5
xdotool key l
sleep 1
key F1
sleep 150
import -window "$window" "$out/main-window-cast-profiles.png"
key alt+d
sleep 0.5
xdotool key i
list=$(await '^Cast List$')
sleep 0.5
import -window "$list" "$out/cast-list.png"
xdotool key Return
key F2
echo "screenshots: $out/main-window-cast-profiles.png $out/cast-list.png"
