#!/usr/bin/env bash
# How long the real program takes to replay a data file, and the processor
# time it uses: a capture of the simulated meter is made, recorded into a
# data file by sondrix-cli, opened by sondrix on a virtual X server and
# replayed with F1. The replay has ended when the program has used no
# processor time for two seconds (an idle window uses none).
#
# Needs Xvfb and xdotool. Usage:
#   scripts/measure_replay.sh [build-dir] [lines] [device file]
# e.g. scripts/measure_replay.sh build 6000 examples/benth-100wl.dev
# SHOT=file.png keeps a picture of the screen at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
lines=${2:-6000}
meter_device=${3:-examples/nerit-9wl.dev}
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "measure_replay: $tool is missing" >&2; exit 1; }
done
tick=$(getconf CLK_TCK)

# shellcheck source=lib/live_session.sh
. scripts/lib/live_session.sh
start_xvfb

cp "$meter_device" "$home/"
device=$home/$(basename "$meter_device")
# Ten samples a packet for every model but the hyperspectral meter (one).
per_packet=10
case "$(basename "$meter_device")" in benth*) per_packet=1 ;; esac
"$build/tools/sim/sondrix-sim" --device "$device" --out "$home/run.raw" \
  --packets $(((lines + per_packet - 1) / per_packet)) --seed 7 --quiet
SONDRIX_HOME=$home "$build/tools/cli/sondrix-cli" record --device "$device" --port "$home/run.raw" \
  --out "$home/run.dat" >/dev/null 2>&1
stored=$(awk 'found { n++ } /; acquisition binsize/ { found = 1 } END { print n + 0 }' "$home/run.dat")

# GRAPH=1 ... 6 puts that graph on show (a display configuration beside the
# file, every trace visible); otherwise the program's default.
if [ -n "${GRAPH:-}" ]; then
  traces=18
  [ "$per_packet" = 1 ] && traces=200
  {
    sed -n 1p "$device"
    printf '%x\n' "0x$(sed -n 2p "$device" | cut -f1)"
    printf '%s\t\t\t\t; current display\n1\t\t\t\t; collect bin size\n1\t\t\t\t; display bin size\n' "$GRAPH"
    seq 0 $((traces - 1)) | tr '\n' '\t'
    printf '\t; visible traces\n'
  } >"$home/run.RTC"
fi
SONDRIX_HOME=$home "$build/app/sondrix" "$home/run.dat" >/dev/null 2>&1 &
sondrix_pid=$!
session_pids+=("$sondrix_pid")
window=$(xdotool search --sync --onlyvisible --name '^Sondrix' | head -n 1)
sleep 2

now() { date +%s.%N; }
before=$(cpu_ticks)
start=$(now)
key F1
last=$before
last_change=$(now)
while :; do
  sleep 0.2
  ticks=$(cpu_ticks)
  if [ "$ticks" != "$last" ]; then
    last=$ticks
    last_change=$(now)
  elif awk -v a="$(now)" -v b="$last_change" 'BEGIN { exit !(a - b >= 2.0) }'; then
    break
  fi
done
awk -v s="$start" -v e="$last_change" -v t=$((last - before)) -v hz="$tick" -v n="$stored" \
  'BEGIN { printf "replay of %d lines: %.1f s, %.1f s of processor time\n", n, e - s, t / hz }'
# A picture of the window as the replay left it, when asked for.
if [ -n "${SHOT:-}" ]; then import -window root "$SHOT"; fi
kill "$sondrix_pid" 2>/dev/null || true
wait "$sondrix_pid" 2>/dev/null || true
