#!/bin/sh
# The site's own batch file, run by Morvane with /bin/sh in its folder between the
# backup and the restore, while the database is shut down.
# Its output is shown in the window's report area, not logged: an unattended run that
# must keep it writes it somewhere itself (logger(1), a file). Replace the line below
# with the site's commands.
echo "MidProcess.cmd: rien à faire"
