#!/usr/bin/env bash
# Processor time of the real program, idle and during live runs: sondrix on a
# virtual X server with a simulated nine-wavelength meter on COM1 (a
# pseudo-terminal), measured from /proc as the share of one core.
#
#   idle:  the window open, the meter open, no run
#   live:  a run at the instrument's 6 samples a second, and at 60
#          (the spectrum curves on show, every line recorded and drawn)
#
# With MEASURE_GPS=1 a simulated GPS receiver on COM2 is the runs' position
# source (its fixes read, recorded and shown); with MEASURE_TSG=1 a
# simulated thermosalinograph over UDP is the runs' ship's data source, the
# valve on a schedule; with MEASURE_CORRECTED=1 the graphs show the lines
# corrected live (Display > Corrected Values: salinity 35 unless the
# thermosalinograph gives it, T_cal 20, proportional scattering); with
# MEASURE_PROFILES=1 the meter dives (to 30 m every two minutes) and the
# depth graph shows the cast profiles (Display > Cast Profiles); with
# MEASURE_UDP=1 every line goes out as a UDP datagram to a listener on the
# loopback (Configure > Network Output...).
#
# Needs Xvfb and xdotool. Usage: scripts/measure_cpu.sh [build-dir] [seconds] [graph]
# graph: the graph on show during the runs, 1 ... 6 (1 the XY graph, 2 the
# strip chart; default the program's own, the spectrum curves).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tools
build=${1:-build}
seconds=${2:-30}
graph=${3:-}
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "measure_cpu: $tool is missing" >&2; exit 1; }
done
cmake --build "$build" --target sondrix sondrix-sim >/dev/null
tick=$(getconf CLK_TCK)

# shellcheck source=lib/live_session.sh
. scripts/lib/live_session.sh
start_xvfb

# Share of one core over $seconds, in per cent.
measure() {
  local before after
  before=$(cpu_ticks)
  sleep "$seconds"
  after=$(cpu_ticks)
  awk -v t=$((after - before)) -v hz="$tick" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * t / hz / s }'
}

# The listener of MEASURE_UDP's datagrams.
if [ -n "${MEASURE_UDP:-}" ]; then
  python3 -c 'import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 50555))
while True: s.recv(65536)' &
  session_pids+=($!)
fi

for rate in 6 60; do
  if [ -n "${MEASURE_PROFILES:-}" ]; then
    start_meter --rate "$rate" --max-depth 30 --dive-seconds 120
    graph=4
  else
    start_meter --rate "$rate"
  fi
  if [ -n "${MEASURE_GPS:-}" ]; then start_receiver; fi
  if [ -n "${MEASURE_TSG:-}" ]; then valve_schedule=30,5,0 start_tsg; fi
  if [ -n "$graph" ]; then
    # The display configuration beside the device file: that graph on show,
    # all eighteen traces visible, every graph's settings the defaults.
    {
      printf 'meter\n0\n%s\t; current display\n1\t; collect bin size\n1\t; display bin size\n' "$graph"
      printf '%s\t' $(seq 0 17)
      printf '; visible traces\n'
    } >"$home/nerit-9wl.RTC"
  fi
  if [ -n "${MEASURE_CORRECTED:-}" ]; then
    printf '[Processing]\nScatter=3\nTCal=20\n%s\n' "$([ -n "${MEASURE_TSG:-}" ] || echo Salinity=35)" \
      >>"$home/Sondrix.ini"
  fi
  if [ -n "${MEASURE_UDP:-}" ]; then
    printf '[Network]\nDestination=127.0.0.1:50555\nId=measure\nEvery=1\nNmea=no\n' >>"$home/Sondrix.ini"
  fi
  start_sondrix
  if [ -n "${MEASURE_CORRECTED:-}" ]; then key ctrl+k; fi
  if [ -n "${MEASURE_PROFILES:-}" ]; then
    key alt+d
    sleep 0.5
    xdotool key l
  fi
  sleep 3
  idle=$(measure)
  key F1
  sleep 3
  live=$(measure)
  save_run "live-$rate.dat"
  lines=$(awk 'found { n++ } /; acquisition binsize/ { found = 1 } END { print n + 0 }' "$home/live-$rate.dat")
  rss=$(awk '/VmRSS/ { print $2 / 1024 }' "/proc/$sondrix_pid/status")
  echo "meter at $rate samples/s${graph:+, graph $graph}${MEASURE_GPS:+, GPS receiver}${MEASURE_TSG:+, thermosalinograph}${MEASURE_CORRECTED:+, corrected values}${MEASURE_PROFILES:+, cast profiles}${MEASURE_UDP:+, UDP output}: idle $idle % of a core; live run $live % of a core" \
    "(${seconds} s each; the run recorded about $lines lines; resident ${rss} MB)"
  kill "$sondrix_pid" 2>/dev/null || true
  wait "$sondrix_pid" 2>/dev/null || true
done
