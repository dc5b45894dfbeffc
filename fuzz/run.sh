#!/usr/bin/env bash
# Builds the libFuzzer targets (build-fuzz: clang, libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer), replays the inputs that once failed
# (fuzz/regressions/<target>/), then runs each target for SECONDS seconds
# (default 60), FUZZ_JOBS at a time (default: the number of cores), from its
# seeds in fuzz/corpus/<target>/. New inputs go to build-fuzz/corpus/<target>/,
# the seeds stay as they are. An input that crashes, leaks, hangs or exhausts
# memory lands in build-fuzz/findings/<target>/ and the script exits 1.
# Targets named in FUZZ_REPLAY_ONLY (space-separated) only replay their
# regressions and seeds.
#   bash fuzz/run.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
jobs=${FUZZ_JOBS:-$(nproc)}

targets=("$@")
mkdir -p build-fuzz
failed() {
  tail -n 30 build-fuzz/build.log
  echo "the fuzz targets did not build (build-fuzz/build.log)"
  exit 1
}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDO_FUZZ=ON \
  -DONDO_BUILD_TESTS=OFF -DONDO_BUILD_BENCHMARKS=OFF >build-fuzz/build.log 2>&1 || failed
[ ${#targets[@]} -gt 0 ] || mapfile -t targets <build-fuzz/fuzz-targets.txt
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}" >>build-fuzz/build.log 2>&1 || failed

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export LSAN_OPTIONS=suppressions=$PWD/fuzz/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_one() {
  local target=$1 seconds=$2
  local seeds=fuzz/corpus/$target work=build-fuzz/corpus/$target findings=build-fuzz/findings/$target
  local regressions=fuzz/regressions/$target
  mkdir -p "$work" "$findings" "$seeds"
  local log=build-fuzz/findings/$target.log
  local options=(-timeout=10 -rss_limit_mb=2048 -artifact_prefix="$findings/")
  if [ -d "$regressions" ] && ! build-fuzz/bin/"$target" "${options[@]}" "$regressions"/* >"$log" 2>&1; then
    printf '%-18s a regression input FAILS AGAIN, see %s\n' "$target" "$log"
    return 1
  fi
  if [[ " ${FUZZ_REPLAY_ONLY:-} " == *" $target "* ]]; then
    if build-fuzz/bin/"$target" "${options[@]}" "$seeds"/* >"$log" 2>&1; then
      printf '%-18s %9s seeds and regressions replayed, no finding\n' "$target" "$(ls "$seeds" "$regressions" 2>/dev/null | grep -c .)"
    else
      printf '%-18s a seed FAILS, see %s\n' "$target" "$log"
      return 1
    fi
    return 0
  fi
  if build-fuzz/bin/"$target" "$work" "$seeds" "${options[@]}" -max_total_time="$seconds" -max_len=65536 \
      -print_final_stats=1 >"$log" 2>&1; then
    printf '%-18s %9s runs, no finding\n' "$target" \
      "$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')"
  else
    printf '%-18s FINDING, see %s\n' "$target" "$log"
    grep -m3 -E 'ERROR|SUMMARY|inconsistent|changed|Test unit written' "$log" | sed 's/^/    /'
    return 1
  fi
}
export -f run_one
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {} "$seconds"
