#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything with AddressSanitizer
# and UndefinedBehaviorSanitizer, and runs every test (the real-player tests
# included; run them alone with: ctest --test-dir build/asan -L player), then
# every fuzz target for TW_FUZZ_SECONDS (10) seconds (scripts/run-fuzz.sh).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/setup.sh"
# Layers only look down: an include of a header above its own layer fails.
bash "$here/scripts/check-layers.sh"

source "$here/scripts/ccache-env.sh"
build="$here/build/asan"
cmake -S "$here" -B "$build" -G Ninja "${tw_launcher[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTW_SANITIZE=ON -DTW_BUILD_BENCH=ON >/dev/null
cmake --build "$build"

# The fuzz targets build with clang while the tests run; once the tests have
# made their fixtures (seeds of the targets), each target runs briefly. A
# target that no longer builds or fails at once fails the run. Without clang
# they are left out, except under CI.
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
  fuzz_log="$(mktemp)"
  FUZZ_BUILD_JOBS="$(( ($(nproc) + 1) / 2 ))" bash "$here/scripts/run-fuzz.sh" --build-only >"$fuzz_log" 2>&1 &
  fuzz_build=$!
fi

export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
tests=0
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@" || tests=$?

if ((fuzz)); then
  if ! wait "$fuzz_build"; then
    cat "$fuzz_log"
    echo "run-tests: the fuzz targets do not build" >&2
    exit 1
  fi
  rm -f "$fuzz_log"
  bash "$here/scripts/run-fuzz.sh" --reseed --jobs "$(nproc)" all "${TW_FUZZ_SECONDS:-10}" || tests=1
fi
exit "$tests"
