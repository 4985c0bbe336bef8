#!/bin/sh
# The site's own batch file, run by Morvane in its folder between the backup and the restore.
# Its output goes to the window's report area. Replace the line below with the site's commands.
echo "MidProcess.cmd: rien à faire"
