#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
# Set up, build and package Skarvel Monitor as a Debian package:
# dist/skarvel-monitor_<version>_<arch>.deb. Install it with
#   sudo apt-get install ./dist/skarvel-monitor_*.deb
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
./scripts/setup.sh
cmake --preset default
cmake --build --preset default -j2 --target skarvel-monitor skarvel_licenses skarvel_app_icon
rm -rf dist/_CPack_Packages
(cd build && cpack -G DEB -B "$ROOT/dist")
rm -rf dist/_CPack_Packages
ls dist/*.deb
