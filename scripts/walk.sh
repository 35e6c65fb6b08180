#!/usr/bin/env bash
# A walk through the program as an operator takes it, on a virtual X server,
# with the mouse and the keyboard, a screenshot at every step: open a
# simulated nine-wavelength meter by hand, start a run with a simulated GPS
# receiver, switch graphs while it runs, show two and four graphs at once,
# lose the receiver (the window keeps its size however long the outage),
# stop the run and save it under a name typed without extension, replay the
# saved file, then calibrate the meter's offsets and cancel. Run by hand;
# it stops at the first step whose window does not come.
# Needs Xvfb, xdotool and ImageMagick's import.
# Usage: scripts/walk.sh [build-dir] [output-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tools
build=${1:-build}
out=${2:-build/walk}
cmake --build "$build" --target sondrix sondrix-sim >/dev/null
mkdir -p "$out"
out=$(cd "$out" && pwd)

# shellcheck source=lib/live_session.sh
. scripts/lib/live_session.sh
step=0
shot() {
  step=$((step + 1))
  local name
  name=$(printf '%s/walk-%02d-%s.png' "$out" "$step" "$1")
  import -window root "$name"
  echo "walk: $name"
}
# A click as a hand makes it: pressed for a tenth of a second.
hand_click() { xdotool mousemove "$1" "$2" mousedown 1 sleep 0.1 mouseup 1; sleep 0.8; }

start_xvfb
start_meter --rate 30 --dive-seconds 60
start_receiver --start=-33.85,151.27 --speed 9 --heading 60
receiver=${session_pids[-1]}
device=$(sed -n 's/^Device=//p' "$home/Sondrix.ini")
# Nothing is open at start: the operator opens the meter.
sed -i '/^Device=/d;/^Port=/d' "$home/Sondrix.ini"
start_sondrix
shot no-source

# Open: "^O to Open", the device file, then COM1 on the port prompt.
hand_click 485 642
answer_dialog 'Device to use' "$device"
await 'Choose a source' >/dev/null
sleep 0.5
shot port-prompt
port=$(await 'Choose a source')
xdotool windowfocus --sync "$port"
eval "$(xdotool getwindowgeometry --shell "$port")"
hand_click $((X + 50)) $((Y + 69))
sleep 2
shot opened

# A run; the graph switched while it runs; the GPS receiver lost on the
# way (its simulator ended): the position read-out says so, and the window
# keeps its size.
key F1
sleep 10
shot run-spectrum
size_before=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
kill "$receiver"
click 66 8    # Display
click 100 51  # Strip Chart
sleep 6
shot run-strip-chart
click 66 8    # Display
click 100 28  # XY Graph
sleep 8
shot run-gps-lost
size_after=$(xdotool getwindowgeometry "$window" | sed -n 's/.*Geometry: //p')
echo "walk: window $size_before before the receiver was lost, $size_after 14 s after"
[ "$size_before" = "$size_after" ] || echo "walk: the window changed its size" >&2

# The split view while it runs: two graphs, four, a pane's kind changed
# with its chooser, and back to one.
key alt+v
xdotool key t   # Two Graphs
sleep 6
shot run-two-graphs
key alt+v
xdotool key f   # Four Graphs
sleep 6
shot run-four-graphs
# The fourth pane's chooser (bottom right): the strip chart becomes the
# temperature graph.
hand_click 544 369   # (the window as loaded: the pane at 444, 338 below the menu bar)
xdotool key Down Return
sleep 6
shot run-four-graphs-chosen
key alt+v
xdotool key s   # Single Graph
sleep 3
shot run-single-graph-again

# Stop: first what the run has to tell (the receiver that went away), over
# the window; then the recording saved as "walk1", which becomes walk1.dat.
key F2
if note=$(await '^Error$') && [ -n "$note" ]; then
  sleep 0.5
  shot run-notes
  xdotool windowfocus --sync "$note" key Return
  sleep 0.5
fi
answer_dialog 'Save data' "$home/walk1"
shot saved
[ -s "$home/walk1.dat" ] && echo "walk: saved $home/walk1.dat ($(wc -l <"$home/walk1.dat") lines)"

# Replay the saved file.
click 19 8    # File
click 60 78   # Open Data File...
answer_dialog 'Data file' "$home/walk1.dat"
sleep 1
shot replay-opened
key F1
sleep 0.3
shot replay
sleep 3
shot replay-ended
# The replay's recording is not kept.
if dialog=$(timeout 3 xdotool search --sync --onlyvisible --name 'Save data' | head -n 1) && [ -n "$dialog" ]; then
  xdotool windowfocus --sync "$dialog" key Escape
  sleep 1
fi

# Calibrate the meter's offsets: open it again, edit its configuration,
# start a calibration of 400 samples, watch it, cancel it.
click 19 8    # File
click 60 55   # Open Device...
answer_dialog 'Device to use' "$device"
port=$(await 'Choose a source')
xdotool windowfocus --sync "$port"
eval "$(xdotool getwindowgeometry --shell "$port")"
hand_click $((X + 50)) $((Y + 69))
sleep 2
key alt+f     # File
sleep 0.5
xdotool key e # Edit Configuration...
editor=$(await 'Meter Configuration')
xdotool windowfocus --sync "$editor"
eval "$(xdotool getwindowgeometry --shell "$editor")"
sleep 0.5
shot configuration
xdotool mousemove $((X + 405)) $((Y + 403)) click --repeat 3 1 type 400
xdotool key Tab
sleep 0.5
xdotool mousemove $((X + 295)) $((Y + 403)) click 1
sleep 3
shot calibrating
if wait_window=$(await 'Please wait') && [ -n "$wait_window" ]; then
  xdotool windowfocus --sync "$wait_window" key Escape
  sleep 1
  shot calibration-cancelled
else
  echo "walk: the calibration's message window was not seen; waiting for the calibration to end" >&2
  sleep 15
  shot calibration-ended
fi
xdotool windowfocus --sync "$editor" key Escape
sleep 1

echo "walk: screenshots in $out"
