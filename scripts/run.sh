#!/usr/bin/env bash
# The main job: makes the machine ready, builds the program, then runs the
# unattended rebuild of a demo database (header before and after, and the log).
#   scripts/run.sh            the demo, in build/demo (MORVANE_DEMO_DIR to change it)
#   scripts/run.sh ARGS...    starts the program with these arguments instead
#                             (for example AUTO or DATABASEINI=site.ini)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build build/release --target morvane
if [ $# -gt 0 ]; then
  exec build/release/src/window/morvane "$@"
fi
exec scripts/demo/run-demo.sh build/release/src/window/morvane "${MORVANE_DEMO_DIR:-$root/build/demo}"
