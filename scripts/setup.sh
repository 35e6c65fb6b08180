#!/usr/bin/env bash
# Installs every Debian package Sondrix needs to build, test and run, when it
# is missing. Idempotent and non-interactive; runs apt-get update once, only
# when something has to be installed.
# Usage: scripts/setup.sh [--tools]   (--tools: also what measure_cpu.sh and
# screenshots.sh drive the program with: xdotool, ImageMagick)
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev  # the tools' command lines (header only)
  qt6-base-dev libqcustomplot-dev libqcustomplot2.1-qt6
  nlohmann-json3-dev libnetcdf-dev libhdf5-dev netcdf-bin
  xvfb xauth ccache locales strace
  lintian desktop-file-utils appstream librsvg2-bin shared-mime-info libxml2-utils libglib2.0-bin file procps
  scdoc  # the manual pages (man/*.scd): small, made for man pages
  python3-netcdf4 python3-xarray python3-numpy python3-pandas  # the export tests read the NetCDF outputs back through them
  clang libclang-rt-14-dev  # the libFuzzer build of tests/fuzz (-DSONDRIX_FUZZ=ON; libFuzzer is in the latter)
)
if [ "${1:-}" = "--tools" ]; then
  packages+=(xdotool imagemagick)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# One locale with a decimal comma, so the tests can show that files are read
# and written with a decimal point whatever the user's locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8 || echo "setup: could not build the de_DE locale (the locale test will be skipped)"
fi
