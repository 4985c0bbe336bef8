#!/bin/sh
# The site's own batch file; in the demo it only says when it runs.
echo "StopServices.cmd: $(date '+%H:%M:%S') dans $(pwd)"
