#!/bin/sh
# The site's own batch file, run by Morvane with /bin/sh in its folder after the
# restore: start the services again. A cycle that fails after StopServices.cmd ran
# runs it too, once the database is back at its path and online.
# Its output is shown in the window's report area, not logged: an unattended run that
# must keep it writes it somewhere itself (logger(1), a file). Replace the line below
# with the site's commands.
echo "StartServices.cmd: rien à faire"
