#!/bin/sh
# The site's own batch file, run by Morvane in its folder before the backup: stop the services that use the database.
# Its output goes to the window's report area. Replace the line below with the site's commands.
echo "StopServices.cmd: rien à faire"
