#!/usr/bin/env bash
# The picture of the Deployment dialog in docs/images, taken from the real
# program on a virtual X server (the meter of scripts/lib/live_session.sh):
# Configure > Deployment... opened from the keyboard, values typed in.
# Needs Xvfb, xdotool and ImageMagick's import.
# Usage: scripts/screenshot_deployment.sh [build-dir] [output-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=lib/pictures.sh
. scripts/lib/pictures.sh "$@"
start_meter --rate 30
start_sondrix

key alt+c
sleep 0.5
key l
dialog=$(xdotool search --sync --onlyvisible --name '^Deployment$' | head -n 1)
sleep 0.5
# The remembered cruise, station and cast are shown; the rest is typed.
for text in "" "" "" "A. Diver; B. Winch" "Institute of Coastal Optics" "a.diver@example.org" \
  "Spring bloom optics" "CTD cage, 2 m above the rosette"; do
  if [ -n "$text" ]; then xdotool windowfocus --sync "$dialog" type --delay 5 "$text"; fi
  xdotool windowfocus --sync "$dialog" key Tab
done
sleep 0.5
import -window "$dialog" "$out/deployment-dialog.png"
xdotool windowfocus --sync "$dialog" key Escape
echo "screenshot: $out/deployment-dialog.png"
