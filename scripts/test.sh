#!/usr/bin/env bash
# Installs what the project needs, starts the Firebird server, builds the test
# build (AddressSanitizer and UndefinedBehaviorSanitizer) and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
cmake --preset test >/dev/null
cmake --build build/test
ctest --test-dir build/test --output-on-failure -j2 "$@"
