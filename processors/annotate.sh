#!/bin/sh
# Sample processor: keeps the request's parameters in the job file (after -r -i) and adds
# who handled them and when.
[ "$1" = "-r" ] && [ "$2" = "-i" ] && [ -f "$3" ] || { echo "usage: $0 -r -i JOBFILE" >&2; exit 2; }
printf '<processedBy>annotate</processedBy>\n<processedAt>%s</processedAt>\n' \
  "$(date -u +%Y-%m-%dT%H:%M:%SZ)" >> "$3"
