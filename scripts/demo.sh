#!/usr/bin/env bash
# The bundled demo instrument: builds Sondrix and serves a simulated
# nine-wavelength meter on a pseudo-terminal mapped to COM1.
#
# With a display (DISPLAY or WAYLAND_DISPLAY set) the application opens with
# the meter already open on COM1: press F1 (or the start button) to watch A
# and C arrive, F2 to stop and save the run. Closing the window ends the
# demo, simulator included. The demo's project directory (settings, display
# settings, recordings) is <build-dir>/demo.
#
# Without a display, sondrix-cli records the meter through the same serial
# port, decoder, meter and data-file classes, then describes and replays
# the recording.
#
# With SONDRIX_DEMO_GPS=1 a simulated GPS receiver serves NMEA sentences of
# a ship under way beside the meter, on a second pseudo-terminal mapped to
# COM2 and chosen as the position source (its true track is recorded in
# <project>/gps.tsv).
#
# Usage: scripts/demo.sh [build-dir]      (SONDRIX_DEMO_CLI=1: the command-line demo,
#                                          SONDRIX_DEMO_GPS=1: a GPS receiver too)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build=${1:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

sim="$build/tools/sim/sondrix-sim"
cli="$build/tools/cli/sondrix-cli"
app="$build/app/sondrix"

gui=0
if [ -z "${SONDRIX_DEMO_CLI:-}" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  gui=1
fi
if [ "$gui" = 1 ]; then
  cmake --build "$build" -j"$(nproc)" --target sondrix-sim sondrix-cli sondrix
else
  cmake --build "$build" -j"$(nproc)" --target sondrix-sim sondrix-cli
fi

export SONDRIX_HOME
if [ "$gui" = 1 ]; then
  mkdir -p "$build/demo"
  SONDRIX_HOME=$(cd "$build/demo" && pwd)
else
  SONDRIX_HOME=$(mktemp -d)
fi
# The program keeps its display settings beside the device file: the demo
# uses its own copy.
device="$SONDRIX_HOME/nerit-9wl.dev"
cp examples/nerit-9wl.dev "$device"

"$sim" --device "$device" --pty --rate 6 --quiet >"$SONDRIX_HOME/pty" &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -s "$SONDRIX_HOME/pty" ] && break; sleep 0.1; done
pty=$(head -n 1 "$SONDRIX_HOME/pty")

# The GPS receiver: [Ports] COM2 and [Position] Source=COM2 in the settings.
gps_settings=
if [ -n "${SONDRIX_DEMO_GPS:-}" ]; then
  "$sim" --nmea --pty --link "$SONDRIX_HOME/ttyGPS" --report "$SONDRIX_HOME/gps.tsv" --quiet \
    >"$SONDRIX_HOME/gps-pty" &
  gps_pid=$!
  trap 'kill "$sim_pid" "$gps_pid" 2>/dev/null || true' EXIT
  for _ in $(seq 50); do [ -s "$SONDRIX_HOME/gps-pty" ] && break; sleep 0.1; done
  gps_settings="COM2=$SONDRIX_HOME/ttyGPS"
  echo "Simulated GPS receiver on $(head -n 1 "$SONDRIX_HOME/gps-pty") (COM2, the position source)."
fi

if [ "$gui" = 1 ]; then
  # COM1 is the simulator; the meter on COM1 is what the last exit left
  # open, so the program opens it at start. The window keeps its place and
  # size from the last demo.
  geometry=$(sed -n '/^\[Display\]/,/^\[/{/^\(Top\|Left\|Height\|Width\)=/p}' \
    "$SONDRIX_HOME/Sondrix.ini" 2>/dev/null || true)
  {
    printf '[General]\nDevice=%s\nPort=COM1\n[Ports]\nCOM1=%s\n' "$device" "$pty"
    if [ -n "$gps_settings" ]; then printf '%s\n[Position]\nSource=COM2\n' "$gps_settings"; fi
    if [ -n "$geometry" ]; then printf '[Display]\n%s\n' "$geometry"; fi
  } >"$SONDRIX_HOME/Sondrix.ini"
  echo "Simulated nine-wavelength meter on $pty (COM1); the demo's files are in $SONDRIX_HOME."
  echo "Press F1 in the window to start a run, F2 to stop it; close the window to end the demo."
  "$app"
  exit
fi

printf '[Ports]\nCOM1=%s\n' "$pty" >"$SONDRIX_HOME/Sondrix.ini"
position=()
if [ -n "$gps_settings" ]; then
  printf '%s\n' "$gps_settings" >>"$SONDRIX_HOME/Sondrix.ini"
  # The recorder takes the receiver where it knows a position source.
  if "$cli" record --help 2>&1 | grep -q -- '--position'; then position=(--position COM2); fi
fi
out="$SONDRIX_HOME/demo.dat"
echo "No display: the command-line demo runs the simulator and sondrix-cli on the"
echo "classes of the application."
echo
echo "Simulated nine-wavelength meter on $pty (COM1). Recording 30 samples (5 s)..."
"$cli" record --device "$device" --port COM1 --out "$out" --lines 30 "${position[@]}"
echo
"$cli" info "$out"
echo
echo "First lines of the recording (time ms, 18 values 1/m, temperature, rate, depth, ext. temperature):"
"$cli" replay "$out" | head -n 5
echo
echo "Recording kept in $out"
