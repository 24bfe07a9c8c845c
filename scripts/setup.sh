#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian 12 machine,
# only what is missing. Sourced by run-app.sh and run-tests.sh.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libpugixml-dev libjpeg62-turbo-dev
  openssl ffmpeg imagemagick haxe chromium fonts-dejavu-core ccache
)

# Each library lists what else it needs in scripts/packages.d/<library>.list
# (one Debian package a line, '#' starts a comment).
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
for list in "$here"/scripts/packages.d/*.list; do
  [ -f "$list" ] || continue
  while read -r line; do
    line="${line%%#*}"
    for word in $line; do packages+=("$word"); done
  done < "$list"
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
# Node may come from another source than Debian's packages; only a missing
# one is installed.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  missing+=(nodejs npm)
fi
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The project file's tests run under a German locale (a comma as decimal
# separator), and the locale-sorted lists collate German against Swedish;
# the locales package brings the data, localedef builds it.
for name in de_DE sv_SE; do
  if ! locale -a 2>/dev/null | grep -qix "$name.utf8"; then
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO localedef -i "$name" -c -f UTF-8 "$name.UTF-8"
  fi
done

if [ -f "$here/platform/player/setup.sh" ]; then
  bash "$here/platform/player/setup.sh"
fi
