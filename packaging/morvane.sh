#!/bin/sh
# Starts Morvane from its folder: it reads AppLogger.xml from the working folder and
# its profile and job settings beside the program, all in /opt/morvane.
cd /opt/morvane || exit 1
exec /opt/morvane/morvane "$@"
