#!/usr/bin/env bash
# Measures the test command as CI runs it: a clean clone of this checkout's
# HEAD in a temporary folder whose path holds a dot, with the shared folder
# beside it, pinned to the given cores, with CI=true. Prints the breakdown:
# setup, sanitizer build, tests (and the slowest ten), fuzz build, fuzz runs.
#
#   scripts/ci-figures.sh [--cores LIST] [--cold] [--keep]
#
#   --cores LIST  the cores to pin the run to (taskset; default 0,1)
#   --cold        start from an empty compiler cache, as on a machine that
#                 never ran the command (the packages stay installed)
#   --keep        keep the clone afterwards
#
# The breakdown alone, for a run that has already happened:
#   scripts/ci-figures.sh --report CHECKOUT
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

report() {
  local root="$1" phases="$1/build/phases.log" log="$1/build/asan/ctest.log"
  [ -f "$phases" ] || { echo "ci-figures: no $phases" >&2; return 1; }
  python3 - "$phases" "$log" <<'PY'
import re, sys
starts, ends = {}, {}
for line in open(sys.argv[1]):
    name, what, t = line.split()
    (starts if what == "start" else ends)[name] = float(t)
first = min(starts.values())
last = max(list(ends.values()) + list(starts.values()))
def span(name):
    if name not in starts: return "not run"
    if name not in ends: return "did not finish"
    s, e = starts[name] - first, ends[name] - first
    return f"{(e - s) / 60:6.1f} min   (from {s / 60:5.1f} to {e / 60:5.1f})"
print(f"{'total':<12}{(last - first) / 60:6.1f} min")
for name in ["setup", "build", "tests", "fuzz-build", "fuzz-runs"]:
    print(f"{name:<12}{span(name)}")
try:
    text = open(sys.argv[2], errors="replace").read()
except OSError:
    sys.exit(0)
rows = re.findall(r"Test +#\d+: (\S+) \.+[^\n]*?(Passed|Failed|\*\*\*\S+|Not Run)[^\n]*?([\d.]+) sec", text)
summary = re.search(r"\d+% tests passed, \d+ tests failed out of \d+", text)
if summary: print("ctest: " + summary.group(0))
print("slowest ten tests:")
for name, status, secs in sorted(rows, key=lambda r: -float(r[2]))[:10]:
    print(f"  {float(secs):8.1f} s  {status:<7} {name}")
PY
}

cores=0,1
cold=0
keep=0
while (($#)); do
  case "$1" in
    --cores) cores="$2"; shift 2 ;;
    --cold) cold=1; shift ;;
    --keep) keep=1; shift ;;
    --report) report "$2"; exit ;;
    -h|--help) sed -n '2,16p' "${BASH_SOURCE[0]}"; exit 0 ;;
    *) echo "ci-figures: unknown argument \"$1\"" >&2; exit 2 ;;
  esac
done

base="$(mktemp -d /tmp/tw-ci.XXXXXX)"
git clone -q "$here" "$base/p"
ln -s "$(cd "$here/../shared" && pwd)" "$base/shared"
if ((cold)); then
  export CCACHE_DIR="$base/ccache"
fi
echo "ci-figures: $base/p on cores $cores$( ((cold)) && echo ', empty compiler cache')"
rc=0
(cd "$base/p" && CI=true taskset -c "$cores" bash .ci/run >"$base/run.log" 2>&1) || rc=$?
echo "ci-figures: .ci/run exited $rc (log: $base/run.log)"
tail -3 "$base/run.log"
report "$base/p"
if ((keep == 0 && rc == 0)); then
  rm -rf "$base"
fi
exit "$rc"
