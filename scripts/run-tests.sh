#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything with AddressSanitizer
# and UndefinedBehaviorSanitizer, and runs every test (the real-player tests
# included; run them alone with: ctest --test-dir build/asan -L player).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/setup.sh"
# Layers only look down: an include of a header above its own layer fails.
bash "$here/scripts/check-layers.sh"

build="$here/build/asan"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_SANITIZE=ON -DTW_BUILD_BENCH=ON >/dev/null
cmake --build "$build"
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@"
