#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# `sondrix-cli export` of two builds side by side, beside each build's
# `sondrix-cli replay` of the same data file: simulated captures recorded
# once by the new build (by default those of scripts/lib/paired.sh; METERS
# "device:packets:lines ..." in the environment for others), then, ROUNDS
# rounds interleaved, each build replays the file to a file and exports it
# to each of FORMATS (default "csv seabass netcdf"). Prints the median wall
# time, processor time (user and system) and peak resident memory
# (/usr/bin/time %e, %U + %S, %M) of each, the export's wall and processor
# time over the same build's replay's, and whether the two builds' outputs
# are the same: byte for byte for the text formats, through ncdump
# for NetCDF (the date_created and history attributes, which name the time
# of the export, left out).
#
# Usage: scripts/paired_export.sh BASE_CLI NEW_CLI [ROUNDS] [SIM]
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/lib/paired.sh
. scripts/lib/paired.sh "$@"
meters=${METERS:-$meters}
formats=${FORMATS:-csv seabass netcdf}
# One run: "wall-seconds peak-KB cpu-seconds" appended to RUNS.
timed() {
  local runs=$1
  shift
  /usr/bin/time -f "%e %M %U %S" -o "$work/time.out" "$@" >/dev/null
  awk '{ print $1, $2, $3 + $4 }' "$work/time.out" >>"$runs"
}
for meter in $meters; do
  IFS=: read -r name packets lines <<<"$meter"
  "$sim" --device "examples/$name.dev" --out "$work/$name.raw" --packets "$packets" --quiet
  "$new" record --device "examples/$name.dev" --port "$work/$name.raw" --out "$work/$name.dat" \
    --start-utc 2026-12-09T10:00:00Z >/dev/null
  rm -f "$work/$name.raw"
  for _ in $(seq "$rounds"); do
    for which in base new; do
      cli=$base
      [ "$which" = new ] && cli=$new
      mkdir -p "$work/$which"
      rm -f "$work/$which/replay.out"
      timed "$work/$name-replay-$which.runs" sh -c '"$1" replay "$2" >"$3"' sh "$cli" "$work/$name.dat" \
        "$work/$which/replay.out"
      for format in $formats; do
        rm -f "$work/$which/$name.$format"
        timed "$work/$name-$format-$which.runs" "$cli" export "$work/$name.dat" --format "$format" \
          --out "$work/$which/$name.$format"
      done
    done
  done
  for what in replay $formats; do
    same=different
    case $what in
      replay) cmp -s "$work/base/replay.out" "$work/new/replay.out" && same=identical ;;
      netcdf)
        for which in base new; do
          ncdump "$work/$which/$name.netcdf" | grep -v -e ':date_created = ' -e ':history = ' >"$work/$which.cdl"
        done
        cmp -s "$work/base.cdl" "$work/new.cdl" && same="identical (ncdump)" ;;
      *) cmp -s "$work/base/$name.$what" "$work/new/$name.$what" && same=identical ;;
    esac
    for which in base new; do
      runs=$work/$name-$what-$which.runs
      replays=$work/$name-replay-$which.runs
      wall=$(cut -d' ' -f1 <"$runs" | median)
      peak=$(cut -d' ' -f2 <"$runs" | median)
      cpu=$(cut -d' ' -f3 <"$runs" | median)
      replay=$(cut -d' ' -f1 <"$replays" | median)
      replayCpu=$(cut -d' ' -f3 <"$replays" | median)
      awk -v n="$name" -v f="$what" -v w="$which" -v m="$wall" -v k="$peak" -v c="$cpu" -v r="$replay" \
        -v rc="$replayCpu" -v l="$lines" -v s="$same" \
        'BEGIN { printf "%-12s %-8s %-4s median %7.3f s (%4.2f x replay)  cpu %6.3f s (%4.2f x)  %8.0f lines/s  peak %6.1f MB  (output %s)\n",
                 n, f, w, m, m / r, c, c / rc, l / m, k / 1024, s }'
    done
  done
  rm -rf "$work/base" "$work/new" "$work/$name.dat"
done
