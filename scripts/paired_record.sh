#!/usr/bin/env bash
# `sondrix-cli record` of two builds side by side: simulated captures of the
# nine-wavelength meter (1 000 000 lines) and the hyperspectral meter
# (100 000 lines), recorded by each build in turn, ROUNDS rounds
# interleaved; prints the median wall time of each, the times real time
# (at the simulator's 6 samples a second) and whether the two recordings
# are the same after their title lines (which hold the date and time).
#
# Usage: scripts/paired_record.sh BASE_CLI NEW_CLI [ROUNDS] [SIM]
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/lib/paired.sh
. scripts/lib/paired.sh "$@"
for meter in $meters; do
  IFS=: read -r name packets lines <<<"$meter"
  "$sim" --device "examples/$name.dev" --out "$work/$name.raw" --packets "$packets" --quiet
  for _ in $(seq "$rounds"); do
    for which in base new; do
      cli=$base
      [ "$which" = new ] && cli=$new
      rm -f "$work/$which.dat" "$work/$which.meta.json"
      start=$(date +%s.%N)
      "$cli" record --device "examples/$name.dev" --port "$work/$name.raw" --out "$work/$which.dat" >/dev/null
      end=$(date +%s.%N)
      echo "$end - $start" | bc >>"$work/$name-$which.times"
    done
  done
  same=different
  cmp -s <(tail -n +2 "$work/base.dat") <(tail -n +2 "$work/new.dat") && same=identical
  for which in base new; do
    m=$(median <"$work/$name-$which.times")
    awk -v n="$name" -v w="$which" -v m="$m" -v l="$lines" -v s="$same" \
      'BEGIN { printf "%-12s %-4s median %.3f s  %9.0f lines/s  %8.0f x real time  (output %s)\n", n, w, m, l / m, l / 6 / m, s }'
  done
done
