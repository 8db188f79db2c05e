#!/bin/sh
# Load-run processor: never ends by itself; the server's time limit has to end it and the
# sleep it started.
[ "$1" = "-r" ] && [ "$2" = "-i" ] || exit 9
sleep 3600
