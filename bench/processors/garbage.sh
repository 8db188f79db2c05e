#!/bin/sh
# Load-run processor: replaces the job file with 64 KiB of random bytes and succeeds.
[ "$1" = "-r" ] && [ "$2" = "-i" ] || exit 9
head -c 65536 /dev/urandom > "$3"
