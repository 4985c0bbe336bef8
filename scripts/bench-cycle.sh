#!/usr/bin/env bash
# The cycle figures, each printed with its ratio measured in the same run: the
# unattended rebuild against gbak through the service manager, the header report
# against fbsvcmgr, and the start-up against a minimal client. Builds the program
# (release preset) and the benchmark helper when needed, creates the database of
# at least 300 MB once (reused afterwards) and works on a copy of it.
#   scripts/bench-cycle.sh [pairs] [repetitions]     defaults: 10 pairs, 30 repetitions
# MORVANE_RELEASE_DIR / MORVANE_BENCH_BUILD_DIR choose other build folders than
# build/release and build/bench; MORVANE_BENCH_DB_DIR the database folder
# (/var/tmp/morvane-bench). Needs root (the copies are handed to the firebird account).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
release=${MORVANE_RELEASE_DIR:-build/release}
bench=${MORVANE_BENCH_BUILD_DIR:-build/bench}
folder=${MORVANE_BENCH_DB_DIR:-/var/tmp/morvane-bench}

cmake --preset release -B "$release" >/dev/null
cmake --build "$release" --target morvane >/dev/null
cmake --preset bench -B "$bench" -DMORVANE_BUILD_WINDOW=OFF >/dev/null
cmake --build "$bench" --target header_stats_request >/dev/null

database=$(bench/cycle/create-database.sh "$folder")
exec python3 bench/cycle/bench_cycle.py "$release/src/window/morvane" "$bench/bench/cycle/header_stats_request" \
  "$database" "$folder/work" "$@"
