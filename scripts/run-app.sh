#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the project and runs the
# application. The application itself does not exist yet: for now this
# builds every library in release mode and says so.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/setup.sh"

source "$here/scripts/ccache-env.sh"
build="$here/build/release"
cmake -S "$here" -B "$build" -G Ninja "${tw_launcher[@]}" -DCMAKE_BUILD_TYPE=Release -DTW_BUILD_TESTS=OFF -DTW_BUILD_BENCH=ON >/dev/null
cmake --build "$build"
if [ -x "$build/app/tamblewick" ]; then
  exec "$build/app/tamblewick" "$@"
fi
echo "Built the libraries and benchmarks in $build."
echo "The application is not built yet: so far the project has its SWF library and platform layer."
