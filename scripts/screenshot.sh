#!/usr/bin/env bash
# Makes docs/window.png: the window as it starts on a fresh database of the local
# Firebird server, shown on Qt's offscreen platform (or under Xvfb when asked with
# --xvfb). Needs the server running (scripts/start-firebird.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

build=build-screenshot
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=ON >/dev/null
cmake --build "$build" --target window_screenshot morvane >/dev/null

work=$(mktemp -d /tmp/morvane-screenshot.XXXXXX)
trap 'rm -rf "$work"' EXIT
# The server's own user creates the database file in this folder.
chmod 0777 "$work"
database="127.0.0.1:$work/BD.FDB"
echo "create database '$database' user 'SYSDBA' password 'plumtavern' page_size 8192;" | isql-fb -q
printf 'DatabaseName=%s\r\n' "$database" >"$work/Database.ini"
# The window reads its caption's version from the program file it stands for.
ln -s "$root/$build/src/window/morvane" "$work/morvane"

mkdir -p docs
run=("$build/tests/window/window_screenshot" "$root/docs/window.png" "$work/morvane")
if [ "${1:-}" = "--xvfb" ]; then
  xvfb-run -a -s "-screen 0 1024x768x24" "${run[@]}"
else
  QT_QPA_PLATFORM=offscreen "${run[@]}"
fi
echo "screenshot: docs/window.png"
