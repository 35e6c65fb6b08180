#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
# Usage: scripts/test.sh [build-dir]   (SONDRIX_SANITIZE=ON for ASan/UBSan)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build=${1:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSONDRIX_SANITIZE="${SONDRIX_SANITIZE:-OFF}" >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
