#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the project in release mode and
# starts the program: its main window opens on the desktop (X11 or Wayland;
# QT_QPA_PLATFORM chooses another Qt platform). Arguments go to the program.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$here/scripts/setup.sh"

source "$here/scripts/ccache-env.sh"
build="$here/build/release"
cmake -S "$here" -B "$build" -G Ninja "${tw_launcher[@]}" -DCMAKE_BUILD_TYPE=Release -DTW_BUILD_TESTS=OFF -DTW_BUILD_BENCH=ON >/dev/null
cmake --build "$build"
# Qt wants a private runtime folder; a session normally has one.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="/tmp/runtime-$(id -u)"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
fi
exec "$build/app/tamblewick" "$@"
