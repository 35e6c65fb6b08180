#!/usr/bin/env bash
# `sondrix-cli replay` of two builds side by side: simulated captures of the
# nine-wavelength meter (1 000 000 lines) and the hyperspectral meter
# (100 000 lines), recorded once by the new build, then replayed to a file
# by each build in turn, ROUNDS rounds interleaved; prints the median wall
# time of each, lines and MB of data file a second, and whether the two
# replays are the same byte for byte.
#
# Usage: scripts/paired_replay.sh BASE_CLI NEW_CLI [ROUNDS] [SIM]
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/lib/paired.sh
. scripts/lib/paired.sh "$@"
for meter in $meters; do
  IFS=: read -r name packets lines <<<"$meter"
  "$sim" --device "examples/$name.dev" --out "$work/$name.raw" --packets "$packets" --quiet
  "$new" record --device "examples/$name.dev" --port "$work/$name.raw" --out "$work/$name.dat" >/dev/null
  rm -f "$work/$name.raw"
  bytes=$(stat -c %s "$work/$name.dat")
  for _ in $(seq "$rounds"); do
    for which in base new; do
      cli=$base
      [ "$which" = new ] && cli=$new
      rm -f "$work/$which.out"
      start=$(date +%s.%N)
      "$cli" replay "$work/$name.dat" >"$work/$which.out"
      end=$(date +%s.%N)
      echo "$end - $start" | bc >>"$work/$name-$which.times"
    done
  done
  same=different
  cmp -s "$work/base.out" "$work/new.out" && same=identical
  for which in base new; do
    m=$(median <"$work/$name-$which.times")
    awk -v n="$name" -v w="$which" -v m="$m" -v l="$lines" -v b="$bytes" -v s="$same" \
      'BEGIN { printf "%-12s %-4s median %.3f s  %9.0f lines/s  %6.1f MB/s  (output %s)\n", n, w, m, l / m, b / 1e6 / m, s }'
  done
done
