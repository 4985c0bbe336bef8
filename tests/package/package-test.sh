#!/usr/bin/env bash
# The Debian package on this machine: built with CPack, installed with dpkg -i, its
# program started headless beside a copy of the example configuration (its log must
# hold the version banner), then removed with dpkg -r and purged.
#   package-test.sh SOURCE_FOLDER RELEASE_BUILD_FOLDER VERSION
set -euo pipefail
source_folder=$1
build=$2
version=$3

fail() { echo "FAIL: $*" >&2; exit 1; }
# Under CI a machine that cannot run the test is a failure, never a silent skip.
cannot() { [ "${CI:-}" = true ] && fail "$*"; echo "SKIP: $*" >&2; exit 77; }

[ "$(id -u)" = 0 ] || cannot "dpkg -i needs root"
for tool in dpkg dpkg-deb cpack flock desktop-file-validate man; do
  command -v "$tool" >/dev/null || cannot "$tool is missing"
done

# One run at a time on this machine: the installed package is shared by everybody.
exec 9>/tmp/morvane-package-test.lock
flock 9

installed() { dpkg-query -W -f='${db:Status-Status}' morvane 2>/dev/null | grep -qv '^not-installed$'; }

work=$(mktemp -d /tmp/morvane-package-test.XXXXXX)
cleanup() {
  local status=$?
  # Whatever happened, the machine is left without the package.
  if installed; then dpkg -P morvane >/dev/null 2>&1 || status=1; fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT

# A run killed half-way left the package behind: start from a clean machine.
if installed; then dpkg -P morvane >/dev/null; fi

echo "== Building the package in $build"
deb=$("$source_folder/scripts/package.sh" "$build" 2>"$work/package.log" | tail -n 1) ||
  { cat "$work/package.log" >&2; fail "scripts/package.sh failed"; }
[ -f "$deb" ] || { cat "$work/package.log" >&2; fail "no package made"; }
echo "$deb"

echo "== What the package holds"
[ "$(dpkg-deb -f "$deb" Package)" = morvane ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version)"
depends=$(dpkg-deb -f "$deb" Depends)
for dependency in libfbclient2 libqt6widgets6 libpugixml1v5; do
  grep -qw "$dependency" <<<"$depends" || fail "$dependency missing from Depends: $depends"
done
dpkg-deb -c "$deb" | awk '{ print $1, $6 }' > "$work/contents"
for entry in "-rwxr-xr-x ./opt/morvane/morvane" "-rw-r--r-- ./opt/morvane/AppLogger.xml" \
             "-rw------- ./opt/morvane/Database.ini" "-rw-r--r-- ./opt/morvane/morvane.ini" \
             "-rwxr-xr-x ./opt/morvane/StopServices.cmd" "-rwxr-xr-x ./usr/bin/morvane" \
             "-rw-r--r-- ./lib/systemd/system/morvane-nightly.service" \
             "-rw-r--r-- ./lib/systemd/system/morvane-nightly.timer" \
             "-rw-r--r-- ./lib/systemd/system/morvane-nightly@.service" \
             "-rw-r--r-- ./lib/systemd/system/morvane-nightly@.timer" \
             "-rw-r--r-- ./usr/share/applications/morvane.desktop" \
             "-rw-r--r-- ./usr/share/icons/hicolor/scalable/apps/morvane.svg" \
             "-rw-r--r-- ./usr/share/man/man1/morvane.1.gz"; do
  grep -qxF -- "$entry" "$work/contents" || { cat "$work/contents" >&2; fail "not in the package: $entry"; }
done

echo "== dpkg -i"
dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -i failed"; }
[ -x /opt/morvane/morvane ] || fail "no program in /opt/morvane"
# The connection profile holds the administrator's password: its owner alone reads it.
[ "$(stat -c %a /opt/morvane/Database.ini)" = 600 ] || fail "Database.ini is $(stat -c %a /opt/morvane/Database.ini)"
# Installed, not enabled: the administrator adapts the configuration first.
for wants in /etc/systemd/system/timers.target.wants/morvane-nightly.timer \
             /etc/systemd/system/multi-user.target.wants/morvane-nightly.service; do
  [ ! -e "$wants" ] || fail "enabled at install: $wants"
done

echo "== The menu entry"
entry=/usr/share/applications/morvane.desktop
desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"
key() { sed -n "s/^$1=//p" "$entry"; }
grep -qw System <<<"$(key Categories)" || fail "not in the System menu: $(key Categories)"
# Started as the starter starts it: the starter itself, in the program's folder.
[ "$(key Exec)" = /usr/bin/morvane ] || fail "Exec=$(key Exec)"
[ "$(key Path)" = /opt/morvane ] || fail "Path=$(key Path)"
[ "$(key Icon)" = morvane ] || fail "Icon=$(key Icon)"
grep -q '<svg' "/usr/share/icons/hicolor/scalable/apps/$(key Icon).svg" || fail "no SVG icon named $(key Icon)"

echo "== The manual page"
manual=/usr/share/man/man1/morvane.1.gz
[ -f "$manual" ] || fail "no manual page at $manual"
# Rendered as man shows it: every warning of the formatter is a fault of the page.
MANWIDTH=80 man --warnings -l "$manual" >"$work/manual.txt" 2>"$work/manual.err" ||
  { cat "$work/manual.err" >&2; fail "man cannot render $manual"; }
[ ! -s "$work/manual.err" ] || { cat "$work/manual.err" >&2; fail "man warns about $manual"; }
for heading in NAME SYNOPSIS DESCRIPTION OPTIONS FILES "EXIT STATUS" ENVIRONMENT EXAMPLES "SEE ALSO"; do
  grep -qx "$heading" "$work/manual.txt" || fail "no $heading section in the manual page"
done
grep -q "Morvane $version" "$work/manual.txt" || fail "the manual page does not carry version $version"
# man finds it by name once installed.
[ "$(man -w morvane 2>/dev/null)" = "$manual" ] || fail "man -w morvane: $(man -w morvane 2>&1)"

echo "== --version and --help of the installed program"
# Answered without a display, a log or any file: the program's folder, with the example
# AppLogger.xml that a start would log beside, is left as it was.
ls -A /opt/morvane > "$work/folder-before"
env -u DISPLAY -u WAYLAND_DISPLAY timeout 60 /usr/bin/morvane --version >"$work/version.txt" 2>&1 ||
  { cat "$work/version.txt" >&2; fail "morvane --version failed"; }
[ "$(cat "$work/version.txt")" = "Morvane $version" ] || fail "morvane --version printed: $(cat "$work/version.txt")"
env -u DISPLAY -u WAYLAND_DISPLAY timeout 60 /usr/bin/morvane --help >"$work/help.txt" 2>&1 ||
  { cat "$work/help.txt" >&2; fail "morvane --help failed"; }
grep -q "^Files, in /opt/morvane/:" "$work/help.txt" || { cat "$work/help.txt" >&2; fail "--help does not name /opt/morvane"; }
ls -A /opt/morvane > "$work/folder-after"
diff "$work/folder-before" "$work/folder-after" >&2 || fail "--version or --help changed /opt/morvane"

echo "== The installed program, headless, beside a copy of the example configuration"
cp /opt/morvane/AppLogger.xml /opt/morvane/Database.ini /opt/morvane/morvane.ini /opt/morvane/*.cmd "$work/"
ln -s /opt/morvane/morvane "$work/morvane"
# A database that is not there: the run must start, log its banner and end on the
# start-up error, without touching any real database of this machine.
sed -i "1s|^DatabaseName=\([^:]*\):.*|DatabaseName=\1:$work/absent.fdb|" "$work/Database.ini"
grep -q "^DatabaseName=127.0.0.1:$work/absent.fdb" "$work/Database.ini" || fail "example Database.ini has no DatabaseName line"
status=0
# Started as the nightly unit starts it: the log is named after the profile.
(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 120 ./morvane AUTO DATABASEINI=Database.ini) \
  >"$work/output" 2>&1 || status=$?
[ "$status" != 124 ] || fail "the program did not end by itself"
[ "$status" = 1 ] || { cat "$work/output" >&2; fail "exit status $status, 1 expected for a missing database"; }
log="$work/morvane-Database.ini.log"
[ -f "$log" ] || { ls "$work" >&2; cat "$work/output" >&2; fail "no log named after the profile beside the program"; }
cat "$log"
sed -n 's/^[^[]*\[100\] //p' "$log" > "$work/banner"
grep -qxF "Ouverture de l'application------------------------------" "$work/banner" || fail "no opening line"
grep -qxF "App: $work/morvane - Version: $version" "$work/banner" || fail "no version banner line"

echo "== dpkg -r"
dpkg -r morvane >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -r failed"; }
for gone in /opt/morvane/morvane /usr/bin/morvane /lib/systemd/system/morvane-nightly.service \
            /lib/systemd/system/morvane-nightly.timer /lib/systemd/system/morvane-nightly@.service \
            /lib/systemd/system/morvane-nightly@.timer /usr/share/applications/morvane.desktop \
            /usr/share/icons/hicolor/scalable/apps/morvane.svg /usr/share/man/man1/morvane.1.gz; do
  [ ! -e "$gone" ] || fail "left after dpkg -r: $gone"
done
# The administrator's configuration stays until the purge.
[ -f /opt/morvane/Database.ini ] || fail "dpkg -r removed the configuration"
dpkg -P morvane >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -P failed"; }
[ ! -e /opt/morvane ] || fail "left after the purge: $(ls -A /opt/morvane)"
echo "OK"
