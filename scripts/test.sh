#!/usr/bin/env bash
# Installs what is missing, builds everything, builds and checks the Debian
# package (scripts/check_package.sh) and runs every test.
# Usage: scripts/test.sh [build-dir]   (SONDRIX_SANITIZE=ON for ASan/UBSan)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
build=${1:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSONDRIX_SANITIZE="${SONDRIX_SANITIZE:-OFF}" >/dev/null
cmake --build "$build" -j"$(nproc)"
# The Debian package, built and checked (docs/packaging.md); its verdict is
# kept until the tests have run. Not from a sanitizer build.
package=0
if [ "${SONDRIX_SANITIZE:-OFF}" = OFF ]; then
  scripts/check_package.sh "$build" || package=$?
fi
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
exit "$package"
