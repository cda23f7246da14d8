#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
# Set up, configure, build and run every test, warnings as errors.
# Usage: scripts/test.sh            everything CI runs: the default, asan and
#                                   tsan builds with their suites, then each
#                                   fuzz target for 60 s
#        scripts/test.sh PRESET     one build and its suite (default, asan, tsan)
#        scripts/test.sh fuzz [S]   the fuzz targets only, S seconds each
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
./scripts/setup.sh

if command -v ccache >/dev/null 2>&1; then
  export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
  export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$ROOT}"
  # Debug information names the build directory, which ccache would then hash
  # too: a fresh clone elsewhere would compile everything again.
  export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
fi

stamp() { date +%s; }

run_preset() {
  start=$(stamp)
  cmake --preset "$1" -DSKARVEL_WERROR=ON
  cmake --build --preset "$1" -j2
  ctest --preset "$1" -j2
  echo "test.sh: $1 took $(($(stamp) - start)) s"
}

case "${1:-all}" in
all)
  for preset in default asan tsan; do
    run_preset "$preset"
  done
  start=$(stamp)
  ./scripts/fuzz.sh 60
  echo "test.sh: fuzz took $(($(stamp) - start)) s"
  ;;
fuzz)
  ./scripts/fuzz.sh "${2:-60}"
  ;;
*)
  run_preset "$1"
  ;;
esac
