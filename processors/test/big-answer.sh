#!/bin/sh
# Test processor: leaves the file named by VTPS_BIG_ANSWER as its answer, whatever its size.
[ "$1" = "-r" ] && [ "$2" = "-i" ] || exit 9
cp "$VTPS_BIG_ANSWER" "$3"
