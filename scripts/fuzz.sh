#!/usr/bin/env bash
# Builds the fuzz targets with clang 14 (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build/fuzz and runs each one in turn, one process
# at a time, then prints per target: executions, coverage at the start (seeds and earlier
# runs) and at the end, new inputs, findings.
#
#   scripts/fuzz.sh [-t SECONDS | -r RUNS] [TARGET...]
#
# -t: seconds per target (default 60); -r: executions per target instead.
# Seeds come from fuzz/corpus/<name>/ (never written); new inputs go to
# build/fuzz/work/<name>/, failing inputs to build/fuzz/findings/<name>/.
# Exit status 1 when any target found something.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

limit=(-max_total_time=60)
while getopts "t:r:" option; do
  case $option in
    t) limit=(-max_total_time="$OPTARG") ;;
    r) limit=(-runs="$OPTARG") ;;
    *) sed -n 7,12p "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

build=build/fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMORVANE_BUILD_FUZZ=ON -DMORVANE_SANITIZE=ON -DMORVANE_BUILD_TESTS=OFF -DMORVANE_BUILD_WINDOW=OFF >/dev/null
nice -n 10 cmake --build "$build" -j2 >/dev/null

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for source in fuzz/*.cpp; do
    name=$(basename "$source" .cpp)
    [ "$name" = ReplayMain ] || targets+=("$name")
  done
fi

# The sanitizers stop at the first report, so every finding ends the run of its target.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

total_runs=0
total_findings=0
rows=()
for name in "${targets[@]}"; do
  program=$build/fuzz/fuzz_$name
  work=$build/work/$name
  findings=$build/findings/$name
  log=$build/logs/$name.log
  mkdir -p "$work" "$findings" "$(dirname "$log")"
  before=$(find "$findings" -type f | wc -l)
  status=0
  # One process, no extra jobs: the machine's cores are shared.
  nice -n 10 "$program" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$work" "fuzz/corpus/$name" >"$log" 2>&1 || status=$?
  after=$(find "$findings" -type f | wc -l)
  found=$((after - before))
  if [ "$status" -ne 0 ] && [ "$found" -eq 0 ]; then
    found=1 # a run that failed without leaving an input still counts
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  runs=${runs:-0}
  added=$(sed -n 's/^stat::new_units_added: *//p' "$log" | tail -1)
  start_cov=$(sed -n 's/^#[0-9]*[[:space:]]*INITED cov: \([0-9]*\).*/\1/p' "$log" | head -1)
  end_cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  rows+=("$(printf '%-28s %12s %9s %9s %9s %9s' "$name" "$runs" "${start_cov:-?}" "${end_cov:-?}" "${added:-0}" "$found")")
  total_runs=$((total_runs + runs))
  total_findings=$((total_findings + found))
  [ "$found" -eq 0 ] || echo "fuzz: $name found something, see $log and $findings/" >&2
done

printf '%-28s %12s %9s %9s %9s %9s\n' target executions start-cov end-cov new-units findings
printf '%s\n' "${rows[@]}"
printf '%-28s %12s %9s %9s %9s %9s\n' total "$total_runs" "" "" "" "$total_findings"
[ "$total_findings" -eq 0 ]
