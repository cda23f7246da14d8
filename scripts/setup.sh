#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
# Installs everything the build, tests and benchmarks need on Debian 12 and
# builds hidapi 0.15 (Debian ships 0.13) into .deps/. Idempotent.
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
DEPS="$ROOT/.deps"

PACKAGES="build-essential cmake ninja-build pkg-config git ca-certificates \
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 qt6-qpa-plugins \
  qt6-image-formats-plugins libgl-dev libxkbcommon-dev libudev-dev \
  xvfb xauth python3 python3-pandas \
  libqcustomplot-dev qt6-charts-dev libqt6opengl6-dev"
# (Qt Charts' CMake package needs Qt6OpenGL's, which qt6-charts-dev does not pull in.)
# Single-precision FFT for the spectrum view (libfftw3-dev brings fftw3f and its pkg-config file).
PACKAGES="$PACKAGES libfftw3-dev"
# libFuzzer targets build with clang; the real-hidapi test emulates the kernel with umockdev.
PACKAGES="$PACKAGES clang-14 libclang-rt-14-dev umockdev libumockdev-dev"
# Install and package checks: desktop file, AppStream data, licence compliance, .deb.
PACKAGES="$PACKAGES desktop-file-utils appstream reuse lintian dpkg-dev file"

if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
# npm fetches hidapi's source and the icons; this machine may carry its own Node.js.
command -v npm >/dev/null 2>&1 || missing="$missing nodejs npm"
if [ -n "$missing" ]; then
  echo "setup: installing$missing"
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -q
  # shellcheck disable=SC2086
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
fi

mkdir -p "$DEPS"

# hidapi 0.15.0 source travels inside the node-hid 3.4.0 package. It is built
# as a static library, so the installed program carries it and needs nothing
# from Debian's older hidapi.
HIDAPI_PREFIX="$DEPS/hidapi"
if [ ! -f "$HIDAPI_PREFIX/.built-0.15.0-static" ]; then
  echo "setup: building hidapi 0.15.0"
  rm -rf "$HIDAPI_PREFIX" "$DEPS/hidapi-build"
  SRC="$DEPS/node-hid/package/hidapi"
  if ! grep -qs '^0.15.0' "$SRC/VERSION"; then
    rm -rf "$DEPS/node-hid"
    mkdir -p "$DEPS/node-hid"
    (cd "$DEPS/node-hid" && npm pack --silent node-hid@3.4.0 >/dev/null && tar xzf node-hid-3.4.0.tgz)
  fi
  grep -q '^0.15.0' "$SRC/VERSION" || { echo "setup: unexpected hidapi version" >&2; exit 1; }
  cmake -S "$SRC" -B "$DEPS/hidapi-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$HIDAPI_PREFIX" -DHIDAPI_WITH_LIBUSB=OFF \
    -DHIDAPI_WITH_HIDRAW=ON -DBUILD_SHARED_LIBS=OFF -DCMAKE_POSITION_INDEPENDENT_CODE=ON
  cmake --build "$DEPS/hidapi-build" -j2
  cmake --install "$DEPS/hidapi-build"
  touch "$HIDAPI_PREFIX/.built-0.15.0-static"
fi

# Google Material Icons, rendered into the program's icons during the build.
ICONS="$DEPS/material-icons"
if [ ! -f "$ICONS/.unpacked" ]; then
  echo "setup: fetching Material icons"
  rm -rf "$ICONS"
  mkdir -p "$ICONS"
  (cd "$ICONS" && npm pack --silent @material-design-icons/svg@0.14.15 >/dev/null && tar xzf ./*.tgz)
  touch "$ICONS/.unpacked"
fi
