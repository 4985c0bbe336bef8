#!/usr/bin/env bash
# Builds the benchmark build (Release) and prints the logging figures: the cost of
# Log() to its caller, the file logger's line against the bare open/write/close it
# is made of (and their ratio), and the memory logger's lines per second.
# MORVANE_BENCH_BUILD_DIR chooses another build folder than build/bench.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
dir=${MORVANE_BENCH_BUILD_DIR:-build/bench}
# The window is not needed to measure the logging.
cmake --preset bench -B "$dir" -DMORVANE_BUILD_WINDOW=OFF >/dev/null
cmake --build "$dir" --target logger_bench
"$dir/bench/logger_bench" "$@"
