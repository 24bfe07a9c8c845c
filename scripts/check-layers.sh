#!/usr/bin/env bash
# Fails when a file includes a header of a layer above its own: layers only
# look down (platform knows nothing of SWF, the SWF library nothing of the
# movie builder, ...). Includes are written from the repository root, so the
# first folder of a quoted include names the layer it comes from.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# The folders each library may include from (besides its own). Libraries
# not listed here are not checked.
declare -A allowed=(
  [platform]=""
  [swf]="platform"
  [movie]="platform swf"
  [imaging]="platform"
  [controls]="platform"
  [pictures]="platform imaging"
  [ascompiler]="platform swf movie"
  [app]="platform swf movie ascompiler imaging controls pictures navbar"
)

status=0
for layer in "${!allowed[@]}"; do
  [ -d "$root/$layer" ] || continue
  ok=" $layer ${allowed[$layer]} "
  while IFS=: read -r file line text; do
    target="$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1/' <<<"$text")"
    top="${target%%/*}"
    # Only includes that name a folder of the repository are layer includes.
    [[ "$top" != "$target" && "$top" =~ ^[A-Za-z_] && -d "$root/$top" ]] || continue
    if [[ "$ok" != *" $top "* ]]; then
      echo "${file#"$root"/}:$line: $layer includes \"$target\" from the layer above it ($top)"
      status=1
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$root/$layer" \
             --include='*.h' --include='*.cpp' --include='*.hpp' --include='*.mjs' 2>/dev/null || true)
done
exit $status
