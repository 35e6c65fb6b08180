#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Network Output dialog (Configure > Network Output...) in docs/images,
# with the ship's broadcast address and the meter's serial number as the
# data id.
# Needs Xvfb, xdotool and ImageMagick's import.
# Usage: scripts/network_screenshot.sh [build-dir] [output-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=lib/pictures.sh
. scripts/lib/pictures.sh "$@"
start_meter
printf '[Network]\nDestination=192.168.1.255:5005\nEvery=1\nNmea=no\n' >>"$home/Sondrix.ini"
start_sondrix
dialog_picture c n 'Network Output' network-dialog.png
