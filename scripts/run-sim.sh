#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
# Set up, build and start Skarvel Monitor over two simulated sensors: live
# data without hardware. Extra arguments go to the program.
# SKARVEL_SIM_SENSORS chooses other simulated sensors (see sim/simdemo.cpp).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
./scripts/setup.sh
cmake --preset default
cmake --build --preset default -j2
exec ./build/src/skarvel-monitor-sim "$@"
