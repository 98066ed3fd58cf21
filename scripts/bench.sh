#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the benchmarks, generates their inputs (nothing large is kept in
# the repository), runs the whole-process comparison with cp and the copy
# floor, the micro-benchmarks and the rebuild growth statistics, and writes
# the figures into bench/RESULTS.md.
#
# Usage: scripts/bench.sh [REPS]
#   BENCH_BUILD   build directory        (default: build-bench)
#   BENCH_INPUTS  directory for inputs   (default: /dev/shm/uitrans-bench when
#                 /dev/shm exists, so that disk speed does not decide)
#   BENCH_SCALE   input size in percent  (default: 100: 256 + 32 + 32 MiB)
set -eu
cd "$(dirname "$0")/.."
reps="${1:-7}"
build="${BENCH_BUILD:-build-bench}"
if [ -d /dev/shm ]; then default_inputs=/dev/shm/uitrans-bench; else default_inputs=/tmp/uitrans-bench; fi
inputs="${BENCH_INPUTS:-$default_inputs}"
scale="${BENCH_SCALE:-100}"

scripts/install_deps.sh cmake g++ make python3 libbenchmark-dev time
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DUITRANS_BUILD_BENCH=ON \
  -DUITRANS_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target uitrans copy_floor make_inputs \
  micro_bench rebuild_stats

mkdir -p "$inputs"
stamp="$inputs/.generated-$scale"
if [ ! -f "$stamp" ] || [ "$build/bench/make_inputs" -nt "$stamp" ]; then
  "$build/bench/make_inputs" "$inputs" "$scale"
  touch "$stamp"
fi
python3 bench/run_bench.py --build "$build" --inputs "$inputs" --reps "$reps" \
  --results bench/RESULTS.md --command "scripts/bench.sh $*"
