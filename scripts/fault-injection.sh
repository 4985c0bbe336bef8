#!/usr/bin/env bash
# Runs only the fault-injection suite (the built program against the real server,
# which it kills and limits) and prints its table: fault, step, outcome.
exec "$(dirname "$0")/test.sh" -L fault "$@"
