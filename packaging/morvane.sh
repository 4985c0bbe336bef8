#!/bin/sh
# Starts Morvane from its folder. The program finds AppLogger.xml, its profile and
# its job settings beside the path it is started as, so it is started by its real
# path; the working folder is its own too, for relative DATABASEINI names.
cd /opt/morvane || exit 1
exec /opt/morvane/morvane "$@"
