#!/bin/sh
# Load-run processor: replaces the job file with 64 KiB of random bytes and succeeds. NUL
# bytes become 0x01: the XML reader ends a document at a NUL, so a file that began with one
# would read as an empty document, not as garbage.
[ "$1" = "-r" ] && [ "$2" = "-i" ] || exit 9
head -c 65536 /dev/urandom | tr '\000' '\001' > "$3"
