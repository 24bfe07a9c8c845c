#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang in build/fuzz and runs one
# or all of them.
#
#   scripts/run-fuzz.sh [options] [target...|all] [seconds]
#
#   target      names from build/fuzz/fuzz-targets.txt (default: all)
#   seconds     how long each target runs (default 600)
#   --jobs N    targets run at the same time (default 3; the machine is shared)
#   --timeout S an input that runs longer than S seconds is a finding (default 30)
#   --build-only  build the targets, run nothing
#   --reseed    make the seed folders again
#
# Each target starts from build/fuzz/seeds/<target>, made from the test
# fixtures (build/*/fixtures, made when the tests run) and ../shared/corpus
# as fuzz/<target>.seeds says, one source a line:
#   files <pattern>...    files of those names
#   paths <glob>...       files at those paths: absolute, or relative to the
#                         checkout (files the project ships or installs)
#   actions <pattern>...  the action blocks of those SWF files
#   xml <pattern>...      the XML form of those SWF files
#   abc <pattern>...      the DoABC tag bodies of those SWF files
#   max_len <bytes>       the longest input the fuzzer makes (larger seeds
#                         are cut), where long inputs would only slow it
# New inputs go to build/fuzz/corpus/<target>, findings (crash-*, leak-*,
# timeout-*, oom-*) to build/fuzz/findings/<target>/, the output to
# build/fuzz/logs/<target>.log. The script fails when a target does not
# build or any run ends with a finding; at the end it prints, per target,
# the executions and the coverage reached.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$here/build/fuzz"

# All in one function, read whole before it runs: a run of ten minutes
# survives the script being edited meanwhile.
main() {

  parallel=3
  timeout=30
  build_only=0
  reseed=0
  args=()
  while (($#)); do
    case "$1" in
      --jobs) parallel="$2"; shift 2 ;;
      --timeout) timeout="$2"; shift 2 ;;
      --build-only) build_only=1; shift ;;
      --reseed) reseed=1; shift ;;
      -h|--help) sed -n '2,28p' "${BASH_SOURCE[0]}"; exit 0 ;;
      *) args+=("$1"); shift ;;
    esac
  done
  seconds=600
  if ((${#args[@]})) && [[ "${args[-1]}" =~ ^[0-9]+$ ]]; then
    seconds="${args[-1]}"
    unset 'args[-1]'
  fi
  ((${#args[@]})) || args=(all)

  if ! command -v clang++ >/dev/null 2>&1; then
    echo "run-fuzz: clang++ is not installed (scripts/packages.d/fuzz.list)" >&2
    exit 1
  fi

  # ---- build
  source "$here/scripts/ccache-env.sh"
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${tw_launcher[@]}" \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DTW_FUZZ=ON -DTW_BUILD_TESTS=OFF -DTW_BUILD_BENCH=OFF >/dev/null
  fi
  cmake --build "$build" -j "${FUZZ_BUILD_JOBS:-$parallel}"

  mapfile -t all_targets < "$build/fuzz-targets.txt"
  if [ "${args[*]}" = all ]; then
    targets=("${all_targets[@]}")
  else
    targets=()
    for target in "${args[@]}"; do
      if ! printf '%s\n' "${all_targets[@]}" | grep -qx "$target"; then
        echo "run-fuzz: no target \"$target\"; there are: ${all_targets[*]}" >&2
        exit 1
      fi
      targets+=("$target")
    done
  fi

  # ---- seeds
  seed_roots=()
  for dir in "$here"/build/*/fixtures "$here/../shared/corpus"; do
    [ -d "$dir" ] && seed_roots+=("$dir")
  done

  # Files under the seed roots matching any of the patterns.
  find_seed_files() {
    ((${#seed_roots[@]})) || return 0
    local expr=() pattern
    for pattern in "$@"; do
      ((${#expr[@]})) && expr+=(-o)
      expr+=(-name "$pattern")
    done
    # Fixture makers write *.part<pid>* files first; they are never seeds.
    find -L "${seed_roots[@]}" -type f \( "${expr[@]}" \) ! -name '*.part*' | sort
  }

  make_seeds() {
    local target="$1" folder="$build/seeds/$1" list="$here/fuzz/$1.seeds"
    rm -rf "$folder"
    mkdir -p "$folder"
    [ -f "$list" ] || return 0
    local kind patterns files
    while read -r kind patterns; do
      kind="${kind%%#*}"
      [ -n "$kind" ] || continue
      [ "$kind" = max_len ] && continue
      if [ "$kind" = paths ]; then
        local glob path globs n=0
        # shellcheck disable=SC2086  # the globs are words, expanded below
        set -f; globs=($patterns); set +f
        for glob in "${globs[@]}"; do
          [[ "$glob" = /* ]] || glob="$here/$glob"
          # compgen expands the pattern as one word: a checkout path with
          # spaces stays whole.
          while IFS= read -r path; do
            if [ -f "$path" ]; then cp "$path" "$folder/p$((n++))-$(basename "$path")"; fi
          done < <(compgen -G "$glob" || true)
        done
        continue
      fi
      # shellcheck disable=SC2086  # the patterns are words, unexpanded here
      set -f; mapfile -t files < <(find_seed_files $patterns); set +f
      ((${#files[@]})) || continue
      case "$kind" in
        files)
          local file n=0
          for file in "${files[@]}"; do
            cp "$file" "$folder/$((n++))-$(basename "$file")"
          done ;;
        actions|xml|abc) "$build/fuzz/fuzz_seeds" "$kind" "$folder" "${files[@]}" >/dev/null ;;
        *) echo "run-fuzz: $list: unknown source \"$kind\"" >&2; return 1 ;;
      esac
    done < "$list"
  }

  ((build_only)) && exit 0
  for target in "${targets[@]}"; do
    if ((reseed)) || [ ! -d "$build/seeds/$target" ]; then
      make_seeds "$target"
    fi
  done

  # ---- runs
  mkdir -p "$build/logs"
  run_one() {
    local target="$1"
    local corpus="$build/corpus/$target" findings="$build/findings/$target"
    mkdir -p "$corpus" "$findings"
    local options=(-max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=2560 -print_final_stats=1
                   -artifact_prefix="$findings/")
    [ -f "$here/fuzz/$target.dict" ] && options+=(-dict="$here/fuzz/$target.dict")
    local max_len
    # A target without a .seeds file starts from an empty corpus.
    max_len=""
    if [ -f "$here/fuzz/$target.seeds" ]; then
      max_len="$(sed -n 's/^max_len[[:space:]]*\([0-9]*\).*/\1/p' "$here/fuzz/$target.seeds" | tail -1)"
    fi
    [ -n "$max_len" ] && options+=(-max_len="$max_len")
    (cd "$build" && ASAN_OPTIONS="detect_leaks=1:${ASAN_OPTIONS:-}" \
       UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}" \
       "$build/fuzz/$target" "${options[@]}" "$corpus" "$build/seeds/$target") \
      >"$build/logs/$target.log" 2>&1 && echo 0 >"$build/logs/$target.rc" || echo $? >"$build/logs/$target.rc"
  }

  for target in "${targets[@]}"; do
    while (($(jobs -rp | wc -l) >= parallel)); do wait -n || true; done
    echo "run-fuzz: $target for ${seconds}s"
    rm -f "$build/logs/$target.rc"
    run_one "$target" &
  done
  wait
  declare -A status
  failed=0
  for target in "${targets[@]}"; do
    if [ "$(cat "$build/logs/$target.rc" 2>/dev/null)" = 0 ]; then status[$target]=ok; else status[$target]=FAILED; failed=1; fi
  done

  # ---- summary
  printf '\n%-16s %-7s %12s %8s %8s %8s\n' target result executions cov ft corpus
  for target in "${targets[@]}"; do
    log="$build/logs/$target.log"
    [ -f "$log" ] || : >"$log"
    execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
    last="$(grep -E '^#[0-9]+' "$log" | grep 'cov:' | tail -1 || true)"
    cov="$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")"
    ft="$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")"
    corp="$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$last")"
    printf '%-16s %-7s %12s %8s %8s %8s\n' "$target" "${status[$target]}" "${execs:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}"
  done
  if ((failed)); then
    for target in "${targets[@]}"; do
      [ "${status[$target]}" = ok ] && continue
      echo
      echo "---- $target: $(ls "$build/findings/$target" 2>/dev/null | tr '\n' ' ')"
      grep -E -A25 '^==[0-9]+==ERROR|runtime error|ALARM|out-of-memory|deadly signal|uncaught exception' \
        "$build/logs/$target.log" | head -40 || tail -30 "$build/logs/$target.log"
    done
    exit 1
  fi
}

main "$@"
