#!/bin/sh
# The site's own batch file; in the demo it only says when it runs.
echo "StartServices.cmd: $(date '+%H:%M:%S') dans $(pwd)"
