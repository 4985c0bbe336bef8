#!/usr/bin/env bash
# Starts the Firebird 3.0 server without systemd and gives SYSDBA the site password.
# Does nothing when the server already answers with that password.
set -euo pipefail
SITE_PASSWORD=plumtavern
PASSWORD_FILE=/etc/firebird/3.0/SYSDBA.password

server_answers() {
  fbsvcmgr 127.0.0.1:service_mgr -user SYSDBA -password "$1" info_server_version >/dev/null 2>&1
}
port_open() { (exec 3<>/dev/tcp/127.0.0.1/3050) 2>/dev/null; }

if ! pidof /usr/sbin/fbguard >/dev/null 2>&1; then
  install -d -o firebird -g firebird -m 0770 /run/firebird3.0
  rm -f /run/firebird3.0/firebird.pid
  echo "setup: starting the Firebird guardian"
  # Ignored here, SIGXFSZ stays ignored in the guardian and every server it starts:
  # a file-size limit put on the server then fails its writes instead of killing it
  # (the fault tests make a restore fail that way).
  trap '' XFSZ
  start-stop-daemon --start --quiet --chuid firebird --pidfile /run/firebird3.0/firebird.pid \
    --exec /usr/sbin/fbguard -- -daemon -forever -pidfile /run/firebird3.0/firebird.pid
fi

for _ in $(seq 1 100); do port_open && break; sleep 0.2; done
port_open || { echo "setup: Firebird does not answer on 127.0.0.1:3050" >&2; exit 1; }

if ! server_answers "$SITE_PASSWORD"; then
  echo "setup: setting the SYSDBA password"
  # The package chose a random password and wrote it to its password file.
  old=$(sed -n 's/^ISC_PASSWORD="\{0,1\}\([^"]*\)"\{0,1\}$/\1/p' "$PASSWORD_FILE")
  fbsvcmgr 127.0.0.1:service_mgr -user SYSDBA -password "$old" \
    action_modify_user sec_username SYSDBA sec_password "$SITE_PASSWORD"
  sed -i "s/^ISC_PASSWORD=.*/ISC_PASSWORD=\"$SITE_PASSWORD\"/" "$PASSWORD_FILE"
  server_answers "$SITE_PASSWORD" || { echo "setup: SYSDBA password could not be set" >&2; exit 1; }
fi
echo "setup: Firebird 3.0 answers on 127.0.0.1:3050 (SYSDBA)"
