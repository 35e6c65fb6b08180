#!/usr/bin/env bash
# Pictures of the main window on the screens of the field, for docs/images:
# a 1366 x 768 laptop, a 1920 x 1080 screen at 150 % (QT_SCALE_FACTOR=1.5),
# and the night palette (on the XY graph, with the trace labels); the split
# view of two and four graphs with the health strip (on the laptop and on a
# 1024 x 600 netbook). A simulated nine-wavelength meter runs on COM1; each
# picture is the whole virtual screen during a run. The virtual X server has
# no desktop bar and no window frame, so the window is given the room a
# maximised window has beside a 32-pixel top bar and a 37-pixel title bar.
# Needs Xvfb, xdotool and ImageMagick's import.
# Usage: scripts/screenshots-screens.sh [build-dir] [output-dir]
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

# shoot NAME SCREEN WIDTH HEIGHT [extra settings line] (environment:
# QT_SCALE_FACTOR; graph=xy puts the XY graph with its trace labels on show;
# view=t or view=f shows two or four graphs (View menu) with a GPS receiver
# on COM2 for the health strip)
shoot() (
  xvfb_screen=$2
  # shellcheck source=lib/live_session.sh
  . scripts/lib/live_session.sh
  start_xvfb
  start_meter --rate 30 --dive-seconds 60
  [ -z "${view:-}" ] || start_receiver
  printf '[Display]\nTop=0\nLeft=0\nWidth=%s\nHeight=%s\n%s\n' "$3" "$4" "${5:-}" >>"$home/Sondrix.ini"
  start_sondrix
  if [ "${graph:-}" = xy ]; then
    click 66 8    # Display
    click 100 32  # XY Graph
  fi
  key F1
  if [ -n "${view:-}" ]; then
    sleep 2
    key alt+v
    xdotool key "$view"
  fi
  sleep 12
  import -window root "$out/$1.png"
  echo "screenshots: $out/$1.png"
)

# 768 - 32 - 37 and the menu bar: 674 pixels for the panel.
shoot screen-1366x768 1366x768x24 1366 674
# 1280 x 720 device-independent pixels: 626 for the panel.
QT_SCALE_FACTOR=1.5 shoot screen-1920x1080-150 1920x1080x24 1280 626
graph=xy shoot screen-night 1366x768x24 1366 674 NightPalette=yes
# The split view and the health strip: two graphs on a laptop, four on it
# and on a 1024 x 600 netbook (600 - 32 - 37 and the menu bar: 506 pixels).
view=t shoot split-view-two 1366x768x24 1366 674
view=f shoot split-view-four 1366x768x24 1366 674
view=f shoot split-view-four-1024x600 1024x600x24 1024 506
