#!/bin/sh
# Test processor: deletes the job file (after -r -i) and succeeds.
[ "$1" = "-r" ] && [ "$2" = "-i" ] || exit 9
rm -f "$3"
