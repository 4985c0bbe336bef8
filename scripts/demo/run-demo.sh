#!/usr/bin/env bash
# The unattended rebuild of a demo database on the embedded engine (no server part
# in the DB File text, so no server is needed): the program beside its profile, job
# settings and AppLogger.xml in a demo folder, run with AUTO and no display; the
# header before and after and the log are shown.
#   run-demo.sh <program> [demo folder]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
program=$(readlink -f "$1")
demo=${2:-$(pwd)/demo}

rm -rf "$demo"
mkdir -p "$demo"
demo=$(cd "$demo" && pwd)
database="$demo/BD.FDB"

sed "s|@DATABASE@|$database|" "$here/create-demo.sql" > "$demo/create-demo.sql"
isql-fb -q -i "$demo/create-demo.sql"
gfix -buffers 2000 "$database"

# Beside the program: the program itself (a link), its profile, its job settings,
# its loggers and the site's batch files.
ln -s "$program" "$demo/morvane"
# The profile may hold a password: only its owner reads it, as the program asks.
(umask 077 && printf 'DatabaseName=%s\r\n' "$database" > "$demo/Database.ini")
cat > "$demo/morvane.ini" <<INI
[$database]
ForcerDeconnexionClient=1
BeforeBackup=1
AfterRestore=0
RenamePath=$demo/BD.FIB.BKP
EmplacementBackup=$demo/
BatchFileBeforeBackup=StopServices.cmd
BatchFileAfterBackup=MidProcess.cmd
BatchFileAfterRestore=StartServices.cmd
INI
cp "$here/AppLogger.xml" "$here/StopServices.cmd" "$here/MidProcess.cmd" "$here/StartServices.cmd" "$demo/"

rows() { echo 'SELECT COUNT(*) AS LIGNES FROM CLIENTS;' | isql-fb -q "$database" | awk 'NF == 1 && $1 ~ /^[0-9]+$/ { print $1 }'; }

echo "== Header before ($database, $(rows) rows)"
fbstat -h "$database" | sed -n '/Database header page information/,/^$/p'

echo "== Unattended run: $demo/morvane AUTO"
status=0
(cd "$demo" && env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen ./morvane AUTO) || status=$?
echo "exit status: $status"

echo "== Header after ($(rows) rows; old file kept at $demo/BD.FIB.BKP)"
fbstat -h "$database" | sed -n '/Database header page information/,/^$/p'

echo "== Batch files run ($demo/batches.log)"
cat "$demo/batches.log" 2>/dev/null || echo "(none)"

echo "== Log ($demo/morvane.log)"
cat "$demo/morvane.log"
exit "$status"
