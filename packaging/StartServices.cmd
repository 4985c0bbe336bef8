#!/bin/sh
# The site's own batch file, run by Morvane in its folder after the restore: start the services again.
# Its output goes to the window's report area. Replace the line below with the site's commands.
echo "StartServices.cmd: rien à faire"
