#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them: the commands against the raw-socket floor
# (random interleaving and repetitions, ratios of the medians at the end), then the memory one
# command takes while a switch misbehaves. Usage: scripts/bench.sh [REPETITIONS]
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions=${1:-30}

bash scripts/install-deps.sh
cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DQDL_BUILD_TESTS=OFF >/dev/null
cmake --build build-rel -j2 --target device_bench hostile_memory

build-rel/bench/device_bench --benchmark_enable_random_interleaving=true \
    --benchmark_repetitions="$repetitions" --benchmark_min_time=0.05 --benchmark_report_aggregates_only=true
build-rel/bench/hostile_memory
