#!/bin/sh
# Load-run processor: sleeps VTPS_SLEEP_SECONDS (0.1 when unset) in place of the shell, then
# succeeds, leaving the job file as it is. Taken from the environment rather than the job
# file, so that the processor costs one program start besides the shell's.
[ "$1" = "-r" ] && [ "$2" = "-i" ] && [ -f "$3" ] || exit 9
exec sleep "${VTPS_SLEEP_SECONDS:-0.1}"
