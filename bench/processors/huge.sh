#!/bin/sh
# Load-run processor: answers 200 MB of well-formed elements and succeeds.
[ "$1" = "-r" ] && [ "$2" = "-i" ] || exit 9
{
  printf '<?xml version="1.0" encoding="utf-8"?>\n'
  yes '<line>0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef</line>' |
    head -n 2739000
} > "$3"
