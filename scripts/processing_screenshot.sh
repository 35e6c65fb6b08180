#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Processing dialog (Configure > Processing...) in docs/images, with a
# salinity, a scattering correction, underway values and one-minute bins
# chosen, as File > Process... uses it.
# Needs Xvfb, xdotool and ImageMagick's import.
# Usage: scripts/processing_screenshot.sh [build-dir] [output-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=lib/pictures.sh
. scripts/lib/pictures.sh "$@"
start_meter
printf '[Processing]\nScatter=3\nSalinity=35\nTCal=20.5\nUnderway=1\nBinSeconds=60\n' >>"$home/Sondrix.ini"
start_sondrix
dialog_picture c g 'Processing' processing-dialog.png
