#!/usr/bin/env bash
# Installs what the real-player harness and its tests need and is not yet
# here: Chromium, ffmpeg and haxe from Debian, Node if absent, and the pinned
# npm packages.
# Safe to run every time: it does nothing when all is in place.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

missing=()
[ -x /usr/bin/chromium ] || missing+=(chromium)
# The tests make some of their movies with ffmpeg and haxe.
command -v ffmpeg >/dev/null 2>&1 || missing+=(ffmpeg)
command -v haxe >/dev/null 2>&1 || missing+=(haxe)
command -v node >/dev/null 2>&1 || missing+=(nodejs)
command -v npm >/dev/null 2>&1 || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup.sh: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi

node_major="$(node -p 'process.versions.node.split(".")[0]')"
# Debian 12's own Node is 18: the pinned playwright-core accepts 18 and later.
if [ "$node_major" -lt 18 ]; then
  echo "setup.sh: node $(node --version) is too old; playwright-core needs 18 or later" >&2
  exit 1
fi

# node_modules is stale when it was installed from another lockfile.
stamp="$here/node_modules/.tw-lockfile.sha256"
want="$(sha256sum "$here/package-lock.json" | cut -d' ' -f1)"
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$want" ]; then
  echo "setup.sh: npm ci in $here"
  (cd "$here" && npm ci --no-audit --no-fund --ignore-scripts)
  echo "$want" > "$stamp"
fi
