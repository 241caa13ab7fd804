#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) into build-fuzz/ and runs one.
#   tools/fuzz.sh --list              the targets
#   tools/fuzz.sh TARGET SECONDS      runs TARGET that long on a scratch copy of its seed corpus
#   tools/fuzz.sh --smoke SECONDS     runs every target that long (the test.sh stage)
# Crash inputs land in scratch/fuzz/TARGET/artifacts; FUZZ_BUILD_DIR picks another build dir.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${FUZZ_BUILD_DIR:-build-fuzz}
fuzzdir=tests/fuzz

targets() { for f in "$fuzzdir"/*_fuzz.cpp; do basename "$f" _fuzz.cpp; done; }

build_targets() {
  cmake -S . -B "$build" -DQUELL_FUZZ=ON -DQUELL_BUILD_APP=OFF -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=clang++ >/dev/null
  nice -n 10 cmake --build "$build" -j"$(nproc)" --target "$@" >/dev/null
}

# run TARGET SECONDS: a fresh scratch corpus seeded from the tree's.
run() {
  local t=$1 secs=$2 work=scratch/fuzz/$1
  rm -rf "$work/corpus"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp "$fuzzdir/corpus/$t"/* "$work/corpus/"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    nice -n 10 "$build/tests/fuzz/${t}_fuzz" "$work/corpus" -max_total_time="$secs" \
    -timeout=10 -rss_limit_mb=4096 -artifact_prefix="$work/artifacts/" -print_final_stats=1 \
    >"$work/log" 2>&1 || { tail -40 "$work/log"; echo "fuzz $t: FAILED (see $work)"; return 1; }
  echo "fuzz $t: $(grep -o 'number_of_executed_units: [0-9]*' "$work/log" | grep -o '[0-9]*') runs"
}

case "${1:-}" in
  --list) targets ;;
  --smoke)
    mapfile -t all < <(targets)
    build_targets "${all[@]/%/_fuzz}"
    # One target per core at a time; each prints its line when it ends.
    pids=() failed=0
    for t in "${all[@]}"; do
      run "$t" "${2:-5}" &
      pids+=($!)
      if ((${#pids[@]} >= $(nproc))); then
        wait "${pids[0]}" || failed=1
        pids=("${pids[@]:1}")
      fi
    done
    for p in "${pids[@]}"; do wait "$p" || failed=1; done
    exit $failed ;;
  "" | -h | --help) sed -n 2,6p "$0" ;;
  *)
    [[ -f $fuzzdir/${1}_fuzz.cpp ]] || { echo "no target $1 (tools/fuzz.sh --list)"; exit 2; }
    build_targets "${1}_fuzz"
    run "$1" "${2:-60}" ;;
esac
