#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Pictures of the split view and the health strip for docs/images: a
# simulated nine-wavelength meter on a dive (depth) on COM1 and a simulated
# GPS receiver on COM2, each picture the whole virtual screen during a run:
# two graphs on the window as loaded, four on a 1366 x 768 laptop and on a
# 1024 x 600 netbook screen (the window given the room a maximised window
# has there). Needs Xvfb, xdotool and ImageMagick's import.
# Usage: scripts/split_view_screenshots.sh [build-dir] [output-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tools
build=${1:-build}
out=${2:-docs/images}
cmake --build "$build" --target sondrix sondrix-sim >/dev/null
mkdir -p "$out"

# shoot NAME SCREEN PANES-LETTER [WIDTH HEIGHT]
shoot() (
  xvfb_screen=$2
  # shellcheck source=lib/live_session.sh
  . scripts/lib/live_session.sh
  start_xvfb
  start_meter --rate 30 --dive-seconds 90
  start_receiver
  if [ -n "${4:-}" ]; then
    printf '[Display]\nTop=0\nLeft=0\nWidth=%s\nHeight=%s\n' "$4" "$5" >>"$home/Sondrix.ini"
  fi
  start_sondrix
  key F1
  sleep 2
  key alt+v
  xdotool key "$3"
  sleep 20
  import -window root "$out/$1.png"
  echo "screenshots: $out/$1.png"
)

shoot split-view-two 1400x900x24 t
shoot split-view-four 1366x768x24 f 1366 674
# 600 - 32 - 37 and the menu bar: 506 pixels for the panel.
shoot split-view-four-1024x600 1024x600x24 f 1024 506
