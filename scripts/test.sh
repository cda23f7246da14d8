#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
# Set up, configure, build and run every test. Usage: scripts/test.sh [preset]
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
PRESET=${1:-default}
cd "$ROOT"
./scripts/setup.sh
cmake --preset "$PRESET"
cmake --build --preset "$PRESET" -j2
ctest --preset "$PRESET" -j2
