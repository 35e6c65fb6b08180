# Sourced by the scripts that drive the real program on a virtual X server:
# an X server of their own, a simulated nine-wavelength meter on a
# pseudo-terminal mapped to COM1 (another meter's device file in
# $meter_device) of a fresh project directory (the meter is
# open at start, as the last exit left it), and the program itself.
#
#   start_xvfb; start_meter <sim options...>; [start_receiver <options...>;]
#   [start_tsg <options...>;] start_sondrix
#   key F1; click X Y; await TITLE; answer_dialog TITLE PATH; ... (everything is
#   stopped on exit)
#
# Needs $build (the build directory); $xvfb_screen sets the virtual screen
# (1400x900x24). Sets $home, $window, $sondrix_pid.

session_pids=()
home=$(mktemp -d)
session_cleanup() {
  for pid in "${session_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$home"
}
trap session_cleanup EXIT

start_xvfb() {
  local display=97
  while [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
  Xvfb ":$display" -screen 0 "${xvfb_screen:-1400x900x24}" -nolisten tcp >/dev/null 2>&1 &
  session_pids+=($!)
  export DISPLAY=":$display"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
}

start_meter() {
  local device=${meter_device:-examples/nerit-9wl.dev}
  cp "$device" "$home/"
  device=$home/$(basename "$device")
  "$build/tools/sim/sondrix-sim" --device "$device" --pty --quiet "$@" >"$home/pty" &
  session_pids+=($!)
  for _ in $(seq 50); do [ -s "$home/pty" ] && break; sleep 0.1; done
  # With deployment metadata, so that a run does not stop for the
  # Deployment dialog.
  printf '[General]\nDevice=%s\nPort=COM1\n[Ports]\nCOM1=%s\n[Deployment]\ncruise=SX2612\nstation=4\ncast=1\n' \
    "$device" "$(head -n 1 "$home/pty")" >"$home/Sondrix.ini"
}

# A simulated GPS receiver beside the meter (after start_meter): its
# pseudo-terminal is COM2 and the position source, its record of the true
# track is $home/gps.tsv. Options go to sondrix-sim --nmea (--speed, faults ...).
start_receiver() {
  "$build/tools/sim/sondrix-sim" --nmea --pty --link "$home/ttyGPS" --report "$home/gps.tsv" --quiet "$@" \
    >"$home/gps-pty" &
  session_pids+=($!)
  for _ in $(seq 50); do [ -s "$home/gps-pty" ] && break; sleep 0.1; done
  sed -i "s|^\[Ports\]\$|[Ports]\nCOM2=$home/ttyGPS|" "$home/Sondrix.ini"
  printf '[Position]\nSource=COM2\n' >>"$home/Sondrix.ini"
}

# A simulated thermosalinograph beside the meter (after start_meter): its
# lines "tsg1 TIME T, C, S, SV" as UDP datagrams to a free port, which is
# the Ship Data's first source; its truth is $home/tsg.tsv. Options go to
# sondrix-sim --tsg (--valve-schedule, faults ...); $valve_schedule, when
# set, is the window's schedule of the valve.
start_tsg() {
  local port
  port=$(python3 -c 'import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  "$build/tools/sim/sondrix-sim" --tsg --udp "$port" --tsg-id tsg1 --report "$home/tsg.tsv" --quiet "$@" &
  session_pids+=($!)
  printf '[ShipData]\nSource1=udp:%s\nId1=tsg1\nFields1=temperature=1,conductivity=2,salinity=3\nValveSchedule=%s\n' \
    "$port" "${valve_schedule:-}" >>"$home/Sondrix.ini"
}

start_sondrix() {
  SONDRIX_HOME=$home "$build/app/sondrix" >/dev/null 2>&1 &
  sondrix_pid=$!
  session_pids+=("$sondrix_pid")
  # The title names the meter ("Sondrix — nerit-9wl.dev (COM1)").
  window=$(xdotool search --sync --onlyvisible --name '^[*]?Sondrix( |$)' | head -n 1)
  sleep 1
}

# The window has no manager: it sits at the top left, so its controls are
# where the resource file puts them (below a menu bar 19 pixels high).
click() { xdotool mousemove "$1" "$2" click 1; sleep 0.7; }
key() { xdotool windowfocus --sync "$window" key "$1"; }

# The window whose title matches $1, once it is up (empty after 20 s).
await() { timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -n 1; }
# Types $2 into the file dialog titled $1 and accepts it.
answer_dialog() {
  local dialog
  dialog=$(await "$1")
  xdotool windowfocus --sync "$dialog"
  sleep 0.5
  xdotool key ctrl+a type --delay 20 "$2"
  xdotool key Return
  sleep 1
}

# F2 ends the run; its recording is saved as $1 in the project directory.
save_run() {
  key F2
  sleep 1
  # The run's notes (what a GPS receiver or a ship's data source gave) come
  # first, when it has any.
  if ! xdotool search --onlyvisible --name 'Save data' >/dev/null; then xdotool key Return; fi
  local dialog
  dialog=$(xdotool search --sync --onlyvisible --name 'Save data' | head -n 1)
  xdotool windowfocus --sync "$dialog" type "$1"
  xdotool key Return
  sleep 1
}

# Processor time (user + system) the program has used, in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$sondrix_pid/stat"; }
