#!/usr/bin/env bash
# The main job: makes the machine ready, builds the program and starts it.
# Arguments are passed to the program (for example AUTO or DATABASEINI=site.ini).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build build/release --target morvane
exec build/release/src/window/morvane "$@"
