#!/bin/sh
# The site's own batch file, run by Morvane with /bin/sh in its folder before the
# backup, before the workstations are sent away: stop the services that use the database.
# Its output is shown in the window's report area, not logged: an unattended run that
# must keep it writes it somewhere itself (logger(1), a file). Replace the line below
# with the site's commands.
echo "StopServices.cmd: rien à faire"
