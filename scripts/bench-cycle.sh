#!/usr/bin/env bash
# The cycle figures, each printed with its ratio measured in the same run: the
# unattended rebuild against gbak through the service manager and against the floor
# of its own verbose route, with its downtime and the error of its time left, on a
# large database and on one of 2,000 small tables; the header report against
# fbsvcmgr; and the start-up against a minimal client. Builds the program (release
# preset) and the benchmark helpers when needed, creates the two databases once
# (reused afterwards) and works on copies of them.
#   scripts/bench-cycle.sh [pairs] [repetitions]     defaults: 10 pairs, 30 repetitions
# MORVANE_RELEASE_DIR / MORVANE_BENCH_BUILD_DIR choose other build folders than
# build/release and build/bench; MORVANE_BENCH_DB_DIR the databases' folder
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
cmake --build "$bench" --target header_stats_request verbose_route bench_reading_client >/dev/null

large=$(bench/cycle/create-database.sh "$folder" large)
tables=$(bench/cycle/create-database.sh "$folder" tables)
exec python3 bench/cycle/bench_cycle.py "$release/src/window/morvane" "$bench/bench/cycle/header_stats_request" \
  "$bench/bench/cycle/verbose_route" "$bench/bench/cycle/bench_reading_client" "$large" "$tables" "$folder/work" "$@"
