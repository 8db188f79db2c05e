#!/bin/sh
# Test processor: leaves malformed XML in the job file (after -r -i).
[ "$1" = "-r" ] && [ "$2" = "-i" ] || exit 9
printf '<?xml version="1.0" encoding="utf-8"?>\n<status>unclosed\n' > "$3"
