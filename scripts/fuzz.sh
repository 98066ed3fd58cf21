#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the fuzz targets (clang with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time, starting from
# the seed corpus and every past finding. Any finding fails the run; the
# input that caused it is kept in build-fuzz/findings/ (copy it into
# tests/fuzz/regressions/TARGET/ once fixed).
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-60}"
scripts/install_deps.sh cmake clang libclang-rt-14-dev

cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DUITRANS_FUZZ=ON \
  -DUITRANS_BUILD_TESTS=OFF -DUITRANS_WERROR=ON
cmake --build build-fuzz -j"$(nproc)" \
  --target fuzz_list fuzz_image fuzz_structured

findings=build-fuzz/findings
mkdir -p "$findings"
status=0
for target in list image structured; do
  work="build-fuzz/corpus/$target"
  log="build-fuzz/fuzz_$target.log"
  mkdir -p "$work"
  if build-fuzz/tests/fuzz/"fuzz_$target" "$work" \
      "tests/fuzz/corpus/$target" "tests/fuzz/regressions/$target" \
      -max_total_time="$seconds" -max_len=20000 -timeout=10 \
      -rss_limit_mb=2048 -artifact_prefix="$findings/$target-" \
      -print_final_stats=1 >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz_$target: ${seconds}s, $runs runs, no findings"
  else
    echo "fuzz_$target: FINDING (see $log and $findings)"
    tail -n 40 "$log"
    status=1
  fi
done
exit $status
