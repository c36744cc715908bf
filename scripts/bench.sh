#!/usr/bin/env bash
# `make bench`: the engine against minimal loops written over the same libraries.
set -euo pipefail
build=${1:-build}
"$build/bench/quovo_bench" --benchmark_repetitions=${QUOVO_BENCH_REPETITIONS:-5} \
    --benchmark_report_aggregates_only=true "${@:2}"
