#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the benchmarks, installs the peer (resedit, through npm, into the
# build directory), generates the inputs (nothing large is kept in the
# repository), runs the whole-process comparison with cp, the copy floor and
# the peer, the batch of small executables, the micro-benchmarks and the
# rebuild growth statistics, and writes the figures into bench/RESULTS.md.
#
# Usage: scripts/bench.sh [REPS]
#   BENCH_BUILD   build directory        (default: build-bench)
#   BENCH_INPUTS  directory for inputs   (default: /dev/shm/uitrans-bench when
#                 /dev/shm exists, so that disk speed does not decide)
#   BENCH_SCALE   input size in percent  (default: 100: 256 + 32 + 32 MiB)
#   BENCH_BATCH   directory for the batch of small executables (default:
#                 BUILD/batch, on disk, so that the flush costs what it costs)
#   BENCH_PARTS   what to run: a comma-separated subset of images,batch,micro
set -eu
cd "$(dirname "$0")/.."
reps="${1:-7}"
build="${BENCH_BUILD:-build-bench}"
if [ -d /dev/shm ]; then default_inputs=/dev/shm/uitrans-bench; else default_inputs=/tmp/uitrans-bench; fi
inputs="${BENCH_INPUTS:-$default_inputs}"
scale="${BENCH_SCALE:-100}"
batch="${BENCH_BATCH:-$build/batch}"
parts="${BENCH_PARTS:-images,batch,micro}"

scripts/install_deps.sh cmake g++ make python3 libbenchmark-dev time strace \
  eatmydata
if ! command -v npm >/dev/null; then scripts/install_deps.sh nodejs npm; fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DUITRANS_BUILD_BENCH=ON \
  -DUITRANS_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target uitrans copy_floor make_inputs \
  micro_bench rebuild_stats

# The peer, pinned by bench/peer/package-lock.json, installed into the build
# directory (never beside the tool) and again whenever the pin changes.
peer="$build/peer"
mkdir -p "$peer"
cp bench/peer/repack.mjs "$peer/"
if ! cmp -s bench/peer/package-lock.json "$peer/installed-lock.json"; then
  cp bench/peer/package.json bench/peer/package-lock.json "$peer/"
  if (cd "$peer" && npm ci --no-audit --no-fund --loglevel=error); then
    cp "$peer/package-lock.json" "$peer/installed-lock.json"
  else
    echo "bench: the peer could not be installed; running without it" >&2
  fi
fi

mkdir -p "$inputs"
stamp="$inputs/.generated-$scale"
if [ ! -f "$stamp" ] || [ "$build/bench/make_inputs" -nt "$stamp" ]; then
  "$build/bench/make_inputs" "$inputs" "$scale"
  touch "$stamp"
fi
python3 bench/run_bench.py --build "$build" --inputs "$inputs" --reps "$reps" \
  --results bench/RESULTS.md --command "scripts/bench.sh $*" \
  --peer "$peer" --batch-dir "$batch" --parts "$parts"
