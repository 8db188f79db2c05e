#!/bin/sh
# Test processor: leaves the job file (after -r -i) as it is and succeeds.
[ "$1" = "-r" ] && [ "$2" = "-i" ] && [ -f "$3" ] || exit 9
exit 0
