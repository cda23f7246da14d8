#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
# Builds the libFuzzer targets (preset "fuzz", clang) and runs each for the
# given number of seconds (default 60), two at a time. New corpus entries go
# to build-fuzz/corpus/<name>; a crashing input is written to
# tests/fuzz/<name>/regressions/, where CTest replays it in every build once
# it is committed. Fails when any target found a crash.
# Usage: scripts/fuzz.sh [seconds] [name...]
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SECONDS_PER_TARGET=${1:-60}
if [ $# -gt 0 ]; then shift; fi
cd "$ROOT"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

FUZZ_DIR="$ROOT/build-fuzz/tests/fuzz"
if [ $# -gt 0 ]; then
  NAMES="$*"
else
  NAMES=$(cd "$FUZZ_DIR" && for f in fuzz_*; do if [ -f "$f" ] && [ -x "$f" ]; then echo "${f#fuzz_}"; fi; done)
fi

run_one() {
  name=$1
  corpus="$ROOT/build-fuzz/corpus/$name"
  regressions="$ROOT/tests/fuzz/$name/regressions"
  mkdir -p "$corpus" "$regressions"
  log="$ROOT/build-fuzz/fuzz-$name.log"
  rc=0
  ASAN_OPTIONS=detect_leaks=0 "$FUZZ_DIR/fuzz_$name" -max_total_time="$SECONDS_PER_TARGET" \
    -max_len=4096 -print_final_stats=1 -artifact_prefix="$regressions/" \
    "$corpus" "$ROOT/tests/fuzz/$name/seeds" >"$log" 2>&1 || rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  echo "fuzz $name: ${runs:-?} executions in ${SECONDS_PER_TARGET} s (${rate:-?}/s), exit $rc"
  if [ "$rc" -ne 0 ]; then
    tail -n 40 "$log"
    return 1
  fi
  # libFuzzer leaves an empty regressions folder behind when nothing crashed.
  rmdir "$regressions" 2>/dev/null || true
}

# Two at a time: one per core.
failed=0
set -- $NAMES
while [ $# -gt 0 ]; do
  first=$1
  shift
  if [ $# -gt 0 ]; then
    second=$1
    shift
    run_one "$first" & pid=$!
    run_one "$second" || failed=1
    wait "$pid" || failed=1
  else
    run_one "$first" || failed=1
  fi
done
exit "$failed"
