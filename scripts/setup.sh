#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
# Installs everything the build, tests and benchmarks need on Debian 12 or 13
# and builds hidapi 0.15 (Debian ships 0.13 and 0.14) into .deps/. Idempotent.
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
DEPS="$ROOT/.deps"

PACKAGES="build-essential cmake ninja-build pkg-config git ca-certificates \
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 qt6-qpa-plugins \
  qt6-image-formats-plugins libgl-dev libxkbcommon-dev libudev-dev \
  xvfb xauth python3 python3-pandas \
  libqcustomplot-dev qt6-charts-dev"
# test.sh builds through ccache when it is there: CI's fresh clones then
# reuse the previous run's objects instead of compiling three builds cold.
PACKAGES="$PACKAGES ccache"
# Single-precision FFT for the spectrum view (libfftw3-dev brings fftw3f and its pkg-config file).
PACKAGES="$PACKAGES libfftw3-dev"
# The real-hidapi test emulates the kernel with umockdev.
PACKAGES="$PACKAGES umockdev libumockdev-dev"
# Install and package checks: desktop file, AppStream data, licence compliance, .deb.
PACKAGES="$PACKAGES desktop-file-utils appstream reuse lintian dpkg-dev file"
# libFuzzer targets build with the release's default clang: the fuzz preset
# names "clang" and "clang++", which this package provides.
PACKAGES="$PACKAGES clang"
# Names only some releases have, installed where apt offers them. Since LLVM
# 14, clang's runtime libraries (libFuzzer, the sanitizers) are a package of
# their own. Qt Charts' CMake package needs Qt6OpenGL's, a package of its own
# in Qt 6.4 and part of qt6-base-dev since.
OPTIONAL="libclang-rt-dev libqt6opengl6-dev"

if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi

# Those of the named packages that are not installed.
not_installed() {
  installed=" $(dpkg-query -W -f='${db:Status-Status} ${Package}\n' "$@" 2>/dev/null |
    sed -n 's/^installed //p' | tr '\n' ' ')"
  for p in "$@"; do
    case "$installed" in *" $p "*) ;; *) echo "$p" ;; esac
  done
}

# Those of the named packages that apt can install (not purely virtual ones).
# apt's own words, whatever the user's language.
offered() {
  LC_ALL=C apt-cache policy "$@" 2>/dev/null | awk '
    /^[^ ].*:$/ { name = substr($0, 1, length($0) - 1) }
    /^  Candidate:/ && $2 != "(none)" { print name }'
}

missing_packages() {
  # shellcheck disable=SC2086
  not_installed $PACKAGES
  # shellcheck disable=SC2086
  optional=$(not_installed $OPTIONAL)
  # shellcheck disable=SC2086
  if [ -n "$optional" ]; then offered $optional; fi
  # npm fetches hidapi's source and the icons; this machine may carry its own Node.js.
  if ! command -v npm >/dev/null 2>&1; then echo nodejs npm; fi
}

apt_get() {
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get -q "$@"
}

# Without package lists apt offers nothing but what is installed.
have_lists() {
  eval "$(apt-config shell APT_LISTS Dir::State::lists/d)"
  for f in "$APT_LISTS"*_Packages*; do
    if [ -e "$f" ]; then return 0; fi
  done
  return 1
}
updated=""
if ! have_lists; then
  apt_get update
  updated=1
fi
missing=$(missing_packages)
if [ -n "$missing" ] && [ -z "$updated" ]; then
  apt_get update
  missing=$(missing_packages)
fi
if [ -n "$missing" ]; then
  # shellcheck disable=SC2086
  echo "setup: installing" $missing
  # shellcheck disable=SC2086
  apt_get install -y --no-install-recommends $missing
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
