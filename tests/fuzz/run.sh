#!/usr/bin/env bash
# Runs the libFuzzer harnesses.
#   run.sh --seconds S NAME HARNESS SEED_CORPUS WORK_DIR   one harness for S seconds (the test command's run)
#   run.sh --long [MINUTES] [FUZZ_BUILD_DIR]               every harness for MINUTES each (default 5;
#                                                          build dir default build/fuzz)
# A run works on a copy of the seed corpus in WORK_DIR, so the repository's corpus is never changed; a
# crash fails the run and leaves its input in WORK_DIR/artifacts.
set -uo pipefail

run_one() {
  local name=$1 harness=$2 seed=$3 work=$4 seconds=$5
  rm -rf "$work/corpus" "$work/artifacts"
  mkdir -p "$work/corpus" "$work/artifacts"
  if [ -d "$seed" ]; then
    cp -R "$seed"/. "$work/corpus"/
  fi
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
  echo "fuzz_$name: $seconds s over a copy of $seed"
  "$harness" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" 2>&1 | grep -v -E "^#[0-9]+"
  local status=${PIPESTATUS[0]}
  if [ "$status" -ne 0 ]; then
    echo "fuzz_$name FAILED (exit $status). Crashing input(s):"
    ls -l "$work/artifacts" 2>/dev/null
    echo "Reproduce with: $harness <input>. Once fixed, add the input to $seed/ as a regression case."
    return 1
  fi
  echo "fuzz_$name: no crash; corpus grew to $(ls "$work/corpus" | wc -l) inputs"
}

case "${1:-}" in
--seconds)
  [ $# -eq 6 ] || { echo "usage: $0 --seconds S NAME HARNESS SEED_CORPUS WORK_DIR" >&2; exit 2; }
  run_one "$3" "$4" "$5" "$6" "$2"
  ;;
--long)
  minutes=${2:-5}
  dir=${3:-"$(dirname "$0")/../../build/fuzz"}
  list="$dir/fuzzers.txt"
  [ -f "$list" ] || { echo "no $list: build the native tree first" >&2; exit 2; }
  failed=0
  while read -r name harness seed work; do
    [ -n "$name" ] || continue
    run_one "$name" "$harness" "$seed" "$work-long" $((minutes * 60)) || failed=1
  done <"$list"
  exit $failed
  ;;
*)
  sed -n '2,8p' "$0" >&2
  exit 2
  ;;
esac
