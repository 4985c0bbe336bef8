#!/bin/sh
# The site's own batch file; in the demo it only notes when and where it ran.
echo "StopServices.cmd: $(date '+%H:%M:%S') dans $(pwd)" | tee -a batches.log
