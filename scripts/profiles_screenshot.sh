#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Profiles dialog (Configure > Profiles...) in docs/images, with
# one-metre bins and the heave of an 8 s swell smoothed out.
# Needs Xvfb, xdotool and ImageMagick's import.
# Usage: scripts/profiles_screenshot.sh [build-dir] [output-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=lib/pictures.sh
. scripts/lib/pictures.sh "$@"
start_meter
printf '[Profiles]\nBinSize=1\nSmooth=8\nLagDepth=1.5\n' >>"$home/Sondrix.ini"
start_sondrix
dialog_picture c f 'Profiles' profiles-dialog.png
