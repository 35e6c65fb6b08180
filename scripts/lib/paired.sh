# shellcheck shell=bash disable=SC2034
# The start the paired_*.sh scripts share: two builds' sondrix-cli side by
# side on the same simulated captures. From the arguments BASE_CLI NEW_CLI
# [ROUNDS] [SIM]: $base, $new, $rounds (default 5), $sim (default the
# build's simulator) and $work, a scratch folder removed at exit; $meters,
# the captures (device:packets:lines): the nine-wavelength meter's
# 1 000 000 lines and the hyperspectral meter's 100 000; `median` of the
# numbers on standard input.
# Usage, from the repository's root: . scripts/lib/paired.sh "$@"
base=$1
new=$2
rounds=${3:-5}
sim=${4:-build/tools/sim/sondrix-sim}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
meters="nerit-9wl:100000:1000000 benth-100wl:100000:100000"
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
