#!/usr/bin/env bash
# The stream invariants run long: every model and simulator fault through
# sondrix-sim --report, sondrix-cli record (bins 1, 3, 10) and replay, ROUNDS
# times per case, each round with four times the packets of the test run and
# its own seed, fault period and counter start. The checks are those of
# tests/harness/stream_invariants_test.cpp, which this runs.
# Usage: scripts/invariants.sh [BUILD] [ROUNDS] [GoogleTest options]
#   e.g. scripts/invariants.sh build 50 --gtest_filter='*benth*'
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-20}
shift $(( $# < 2 ? $# : 2 ))
cmake --build "$build" --target test_harness >/dev/null
SONDRIX_INVARIANT_ROUNDS=$rounds exec nice "$build/tests/test_harness" "$@"
