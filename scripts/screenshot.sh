#!/usr/bin/env bash
# Makes docs/window.png: the window running a cycle on a fresh database of the local
# Firebird server, taken during the restore, shown on Qt's offscreen platform (or
# under Xvfb when asked with --xvfb). Needs the server running
# (scripts/start-firebird.sh). MORVANE_SCREENSHOT_BUILD_DIR picks a build folder
# already configured with the tests (build/test, say) instead of build-screenshot.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

build=${MORVANE_SCREENSHOT_BUILD_DIR:-build-screenshot}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=ON >/dev/null
fi
cmake --build "$build" --target window_screenshot morvane >/dev/null

work=$(mktemp -d /tmp/morvane-screenshot.XXXXXX)
trap 'rm -rf "$work"' EXIT
# The server's own user creates the database file in this folder.
chmod 0777 "$work"
database="127.0.0.1:$work/BD.FDB"
# Rows enough for the restore to last a few seconds, so that the picture catches its
# progress bar on the way.
isql-fb -q <<SQL
create database '$database' user 'SYSDBA' password 'plumtavern' page_size 8192;
create table CUSTOMERS (ID integer not null primary key, LABEL varchar(300));
commit;
set term ^ ;
execute block as
  declare i integer = 0;
begin
  while (i < 500000) do
  begin
    insert into CUSTOMERS values (:i, uuid_to_char(gen_uuid()) || uuid_to_char(gen_uuid()) ||
      uuid_to_char(gen_uuid()) || uuid_to_char(gen_uuid()) || uuid_to_char(gen_uuid()) || uuid_to_char(gen_uuid()));
    i = i + 1;
  end
end^
set term ; ^
commit;
SQL
printf 'DatabaseName=%s\r\n' "$database" >"$work/Database.ini"
# The site's batch files, as the job settings name them by default.
for batch in StopServices:"Services du site arrêtés" MidProcess:"Backup terminé" StartServices:"Services du site démarrés"; do
  printf '#!/bin/sh\necho "%s"\n' "${batch#*:}" >"$work/${batch%%:*}.cmd"
  chmod 0755 "$work/${batch%%:*}.cmd"
done
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
