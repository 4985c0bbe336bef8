#!/bin/sh
# Starts Morvane from its folder. The program finds AppLogger.xml, its profile and
# its job settings beside the path it is started as, so it is started by its real
# path; the working folder is its own too, for relative DATABASEINI names.
# Without DATABASEINI= the profile is Database.ini, named so that the log is named
# after it as for the nightly runs (AppLogger.xml).
cd /opt/morvane || exit 1
case " $* " in
  *" DATABASEINI="*|*" --help "*|*" --version "*) exec /opt/morvane/morvane "$@" ;;
  *) exec /opt/morvane/morvane "$@" DATABASEINI=Database.ini ;;
esac
