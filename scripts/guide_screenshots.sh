#!/usr/bin/env bash
# The pictures of the user guide (docs/user-guide.md) that docs/images does
# not already hold, taken from the real program on a virtual X server with
# a simulated nine-wavelength meter on a pseudo-terminal mapped to COM1:
# the window with nothing open, the File menu with Diagnostics..., the
# Configure menu, the Acquisition dialog (traces and bin sizes), the meter's
# configuration editor, the Position dialog, the closing message of File >
# Export Data... (a short run with a simulated GPS receiver on COM2), and
# the message of a run whose serial line went away with reconnection off.
# Needs Xvfb, xdotool and ImageMagick's import and convert.
# Usage: scripts/guide_screenshots.sh [build-dir] [output-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tools
build=${1:-build}
out=${2:-docs/images/guide}
for tool in Xvfb xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "guide_screenshots: $tool is missing" >&2; exit 1; }
done
cmake --build "$build" --target sondrix sondrix-sim >/dev/null
mkdir -p "$out"
out=$(cd "$out" && pwd)

# shellcheck source=lib/live_session.sh
. scripts/lib/live_session.sh
# A dialog, or a part of the screen (WxH+X+Y), as a PNG without its empty edges.
shoot_window() { import -window "$1" "$out/$2"; echo "guide_screenshots: $out/$2"; }
shoot_area() {
  import -window root -crop "$1" +repage "$out/$2"
  echo "guide_screenshots: $out/$2"
}

# Sets KEY=VALUE in [General] of the settings, in place of any value it had.
set_general() {
  sed -i "/^$1=/d" "$home/Sondrix.ini"
  if grep -q '^\[General\]$' "$home/Sondrix.ini"; then
    sed -i "s|^\[General\]\$|[General]\n$1=$2|" "$home/Sondrix.ini"
  else
    printf '[General]\n%s=%s\n' "$1" "$2" >>"$home/Sondrix.ini"
  fi
}

# The dialog a menu item opens (menu key, item letter, title), taken and
# closed again.
shoot_menu_dialog() {
  key "$1"
  sleep 0.5
  key "$2"
  local dialog
  dialog=$(await "$3")
  sleep 0.8
  shoot_window "$dialog" "$4"
  xdotool windowfocus --sync "$dialog" key Escape
  sleep 0.8
}

start_xvfb
start_meter --rate 30 --dive-seconds 60
# Every 7th sentence spoiled: the run tells of it in its closing notes.
start_receiver --start=-33.85,151.27 --speed 9 --heading 60 --nmea-bad-checksum 7
device=$(sed -n 's/^Device=//p' "$home/Sondrix.ini")

# 1. Nothing open: what a first start shows ("^O to Open").
sed -i '/^Device=/d;/^Port=/d' "$home/Sondrix.ini"
start_sondrix
sleep 1
shoot_window "$window" no-source.png
kill "$sondrix_pid"; wait "$sondrix_pid" 2>/dev/null || true

# The meter open at start, as the last exit left it.
set_general Device "$device"
set_general Port COM1
start_sondrix

# 2. The File menu with the service item: the version label pressed.
click 1115 756
key alt+f
sleep 0.8
shoot_area 300x290+0+0 file-menu.png
key Escape
sleep 0.5

# 3. The Configure menu.
key alt+c
sleep 0.8
shoot_area 420x200+100+0 configure-menu.png
key Escape
sleep 0.5

# 4. Configure > Acquisition...: the traces shown and the bin sizes.
shoot_menu_dialog alt+c a '^Acquisition$' acquisition-dialog.png
# 5. File > Edit Configuration...: the open meter's configuration editor.
shoot_menu_dialog alt+f e '^Meter Configuration$' meter-configuration.png
# 6. Configure > Position...: the GPS receiver of the runs (COM2, as the
# settings give it).
shoot_menu_dialog alt+c p '^Position$' position-dialog.png

# 7. File > Export Data... of a short run with positions: its closing message.
key F1
sleep 8
save_run guide1
# The run's closing notes (the fixes the receiver gave and the sentences spoiled).
if notes=$(timeout 5 xdotool search --sync --onlyvisible --name '^Error$' | head -n 1) && [ -n "$notes" ]; then
  sleep 0.5
  shoot_window "$notes" run-notes.png
  xdotool windowfocus --sync "$notes" key Return
  sleep 0.5
fi
key alt+f
sleep 0.5
key a
answer_dialog 'Export data file' "$home/guide1.dat"
answer_dialog 'Export as' "$home/guide1.nc"
dialog=$(await '^Export data$')
sleep 0.8
shoot_window "$dialog" export-done.png
xdotool windowfocus --sync "$dialog" key Return
sleep 0.5

# 8. A run whose meter goes away with reconnection off: its message.
kill "$sondrix_pid"; wait "$sondrix_pid" 2>/dev/null || true
set_general Device "$device"
set_general Port COM1
set_general Reconnect no
start_sondrix
key F1
sleep 4
kill "${session_pids[1]}"
error=$(await '^Error$')
sleep 1
shoot_window "$error" line-gone-error.png
xdotool windowfocus --sync "$error" key Return
sleep 1
if dialog=$(timeout 5 xdotool search --sync --onlyvisible --name 'Save data' | head -n 1) && [ -n "$dialog" ]; then
  xdotool windowfocus --sync "$dialog" key Escape
fi
echo "guide_screenshots: pictures in $out"
