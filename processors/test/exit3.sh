#!/bin/sh
# Test processor: writes an answer into the job file (after -r -i), then fails with 3.
[ "$1" = "-r" ] && [ "$2" = "-i" ] || exit 9
printf '<?xml version="1.0" encoding="utf-8"?>\n<status>failed</status>\n<reason>exit 3</reason>\n' > "$3"
exit 3
