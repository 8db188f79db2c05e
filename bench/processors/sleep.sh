#!/bin/sh
# Load-run processor: sleeps for the job's <seconds> (0.1 when it has none), then leaves the
# job file as it is and succeeds.
[ "$1" = "-r" ] && [ "$2" = "-i" ] && [ -f "$3" ] || exit 9
seconds=$(sed -n 's:.*<seconds>\([0-9.]*\)</seconds>.*:\1:p' "$3")
sleep "${seconds:-0.1}"
