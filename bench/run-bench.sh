#!/bin/sh
# Builds scan_bench if needed and runs it with repetitions; the program ends with the MB/s of
# reading and of scanning, and the ratio of their median times.
# usage: run-bench.sh [BUILD_DIR [REPETITIONS]]
set -eu

here=$(cd "$(dirname "$0")" && pwd)
source=$(dirname "$here")
build=${1:-$source/build-bench}
repetitions=${2:-5}

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLINKVET_BENCH=ON \
        -DBUILD_TESTING=OFF
fi
cmake --build "$build" --target scan_bench

"$build/bench/scan_bench" --benchmark_repetitions="$repetitions" \
    --benchmark_report_aggregates_only=true
