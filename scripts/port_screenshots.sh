#!/usr/bin/env bash
# The port dialog and a port that will not open, taken from the real program
# on a virtual X server: COM1 is the simulated meter's pseudo-terminal, COM2
# a by-id name of an adapter that is not plugged in, COM3 a plain file, COM4
# a pseudo-terminal that another program locks once the program has started;
# COM5 ... COM8 are numbered by the system's own list. The operator opens
# the meter (Ctrl+O, the device file), the port dialog comes up, and COM4 is
# chosen: the error says which program holds it.
# Needs Xvfb, xdotool, ImageMagick's import and python3.
# Usage: scripts/port_screenshots.sh [build-dir] [output-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=lib/pictures.sh
. scripts/lib/pictures.sh "$@"
start_meter --rate 30
device=$(sed -n 's/^Device=//p' "$home/Sondrix.ini")
sed -i '/^Device=/d;/^Port=/d' "$home/Sondrix.ini"

# Another program: a terminal of its own, locked when $home/lock-now appears.
python3 -c '
import fcntl, os, pty, sys, time
master, slave = pty.openpty()
print(os.ttyname(slave), flush=True)
while not os.path.exists(sys.argv[1]): time.sleep(0.1)
fd = os.open(os.ttyname(slave), os.O_RDWR | os.O_NOCTTY)
fcntl.flock(fd, fcntl.LOCK_EX)
time.sleep(600)' "$home/lock-now" >"$home/other-pty" &
session_pids+=($!)
for _ in $(seq 50); do [ -s "$home/other-pty" ] && break; sleep 0.1; done
echo "not a device" >"$home/notes.txt"
# Into [Ports], which is not the settings' last section.
sed -i "s|^\[Ports\]\$|[Ports]\nCOM2=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\nCOM3=$home/notes.txt\nCOM4=$(head -n 1 "$home/other-pty")|" \
  "$home/Sondrix.ini"

start_sondrix
touch "$home/lock-now"
sleep 0.5

key ctrl+o
dialog=$(await 'Device to use')
xdotool windowfocus --sync "$dialog"
sleep 0.5
xdotool key ctrl+a type --delay 20 "$device"
xdotool key Return
port=$(await 'Choose a source')
sleep 1
import -window "$port" "$out/port-dialog.png"

# COM4: opened by the other program since the start.
xdotool windowfocus --sync "$port"
eval "$(xdotool getwindowgeometry --shell "$port")"
xdotool mousemove $((X + 50)) $((Y + 165)) click 1
error=$(await '^Error$')
sleep 1
import -window "$error" "$out/port-busy-error.png"
echo "port_screenshots: $out/port-dialog.png $out/port-busy-error.png"
