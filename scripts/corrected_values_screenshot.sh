#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The main window with Display > Corrected Values on, in docs/images: the
# simulated meter in water 5 degrees above its calibration's T_cal at
# salinity 35 (sondrix-sim --water), a thermosalinograph giving the
# temperature and salinity, the proportional scattering correction; the
# value axis names the methods.
# Needs Xvfb, xdotool and ImageMagick's import.
# Usage: scripts/corrected_values_screenshot.sh [build-dir] [output-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=lib/pictures.sh
. scripts/lib/pictures.sh "$@"
start_meter --rate 6 --water 25,35,0.15
start_tsg
printf '[Processing]\nScatter=3\nTCal=20\n' >>"$home/Sondrix.ini"
start_sondrix
key ctrl+k
sleep 1
key F1
sleep 12
import -window "$window" "$out/main-window-corrected.png"
key F2
echo "screenshot: $out/main-window-corrected.png"
