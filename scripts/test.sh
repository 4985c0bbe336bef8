#!/usr/bin/env bash
# Installs what the project needs, starts the Firebird server, builds the test
# build (AddressSanitizer and UndefinedBehaviorSanitizer) and runs every test.
# The fault-injection suite's table is printed at the end when it ran.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
cmake --preset test >/dev/null
cmake --build build/test
table=build/test/fault-injection.md
rm -f "$table"
status=0
ctest --test-dir build/test --output-on-failure -j2 "$@" || status=$?
if [ -f "$table" ]; then
  echo
  echo "Fault injection (built program, real server)"
  cat "$table"
fi
exit "$status"
