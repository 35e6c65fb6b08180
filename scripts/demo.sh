#!/usr/bin/env bash
# The bundled demo instrument: builds Sondrix, serves a simulated
# nine-wavelength meter on a pseudo-terminal, records it through COM1 with
# sondrix-cli (the serial port, decoder, meter and data-file classes of the
# application), then describes and replays the recording.
# Usage: scripts/demo.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build=${1:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target sondrix-sim sondrix-cli

sim="$build/tools/sim/sondrix-sim"
cli="$build/tools/cli/sondrix-cli"
device=examples/nerit-9wl.dev
export SONDRIX_HOME
SONDRIX_HOME=$(mktemp -d)
out="$SONDRIX_HOME/demo.dat"

"$sim" --device "$device" --pty --rate 6 --quiet >"$SONDRIX_HOME/pty" &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -s "$SONDRIX_HOME/pty" ] && break; sleep 0.1; done
pty=$(head -n 1 "$SONDRIX_HOME/pty")
printf '[Ports]\nCOM1=%s\n' "$pty" >"$SONDRIX_HOME/Sondrix.ini"

echo "The desktop application comes with a later batch of work; this demo runs the"
echo "simulator and sondrix-cli on the same classes."
echo
echo "Simulated nine-wavelength meter on $pty (COM1). Recording 30 samples (5 s)..."
"$cli" record --device "$device" --port COM1 --out "$out" --lines 30
echo
"$cli" info "$out"
echo
echo "First lines of the recording (time ms, 18 values 1/m, temperature, rate, depth, ext. temperature):"
"$cli" replay "$out" | head -n 5
echo
echo "Recording kept in $out"
