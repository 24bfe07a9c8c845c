#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything with AddressSanitizer
# and UndefinedBehaviorSanitizer, and runs every test (the real-player tests
# included; run them alone with: ctest --test-dir build/asan -L player), then
# every fuzz target for TW_FUZZ_SECONDS (10) seconds (scripts/run-fuzz.sh).
#
# Each phase's start and end go to build/phases.log, and ctest's output to
# build/asan/ctest.log: scripts/ci-figures.sh reads both for its breakdown.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mkdir -p "$here/build"
phases="$here/build/phases.log"
: >"$phases"
phase() { echo "$1 $2 $(date +%s.%N)" >>"$phases"; }

phase setup start
bash "$here/scripts/setup.sh"
# Layers only look down: an include of a header above its own layer fails.
bash "$here/scripts/check-layers.sh"
phase setup end

source "$here/scripts/ccache-env.sh"
build="$here/build/asan"
phase build start
cmake -S "$here" -B "$build" -G Ninja "${tw_launcher[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_SANITIZE=ON -DTW_BUILD_BENCH=ON >/dev/null
cmake --build "$build"
phase build end

# The fuzz targets build with clang while the tests run, at the lowest
# priority, so they take only the cores the tests leave idle (the player
# tests run one at a time); once the tests have made their fixtures (seeds of
# the targets), each target runs briefly. A target that no longer builds or
# fails at once fails the run. Without clang they are left out, except under
# CI.
fuzz=0
if command -v clang++ >/dev/null 2>&1; then
  fuzz=1
elif [ "${CI:-}" = true ]; then
  echo "run-tests: clang++ is not installed (scripts/packages.d/fuzz.list)" >&2
  exit 1
else
  echo "run-tests: clang++ is not installed: the fuzz targets are left out" >&2
fi
if ((fuzz)); then
  fuzz_log="$build/fuzz-build.log"
  (phase fuzz-build start
   FUZZ_BUILD_JOBS="$(nproc)" nice -n 19 bash "$here/scripts/run-fuzz.sh" --build-only >"$fuzz_log" 2>&1
   rc=$?
   phase fuzz-build end
   exit $rc) &
  fuzz_build=$!
fi

export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
phase tests start
set +e
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@" 2>&1 | tee "$build/ctest.log"
tests="${PIPESTATUS[0]}"
set -e
phase tests end

if ((fuzz)); then
  if ! wait "$fuzz_build"; then
    cat "$fuzz_log"
    echo "run-tests: the fuzz targets do not build" >&2
    exit 1
  fi
  phase fuzz-runs start
  bash "$here/scripts/run-fuzz.sh" --reseed --jobs "$(nproc)" all "${TW_FUZZ_SECONDS:-10}" || tests=1
  phase fuzz-runs end
fi
exit "$tests"
