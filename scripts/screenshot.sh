#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
# Retakes docs/screenshot.png, the README's picture: the window measuring on a
# simulated sensor, on a virtual X display; and docs/measure.png, the same
# stopped with two cursors and their readout. Usage: scripts/screenshot.sh [SECONDS]
# With --trigger first: docs/trigger.png, a capture of a simulated knock.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
./scripts/setup.sh
cmake --preset default
cmake --build --preset default -j2 --target skarvel_screenshot
mkdir -p docs
if [ "${1:-}" = "--trigger" ]; then
    SKARVEL_SIM_SENSORS="SKV-000117:impact=6" xvfb-run -a -s '-screen 0 1600x1000x24' \
        ./build/scripts/skarvel_screenshot docs/trigger.png "${2:-20}" --trigger
    echo "docs/trigger.png"
    exit 0
fi
xvfb-run -a -s '-screen 0 1600x1000x24' ./build/scripts/skarvel_screenshot docs/screenshot.png "${1:-8}"
xvfb-run -a -s '-screen 0 1600x1000x24' ./build/scripts/skarvel_screenshot docs/measure.png "${1:-8}" measure
echo "docs/screenshot.png docs/measure.png"
