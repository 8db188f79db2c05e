#!/bin/sh
# Sample processor: replaces the job file (after -r -i) with a summary of what it received:
# its size and the names of its top-level elements.
[ "$1" = "-r" ] && [ "$2" = "-i" ] && [ -f "$3" ] || { echo "usage: $0 -r -i JOBFILE" >&2; exit 2; }
bytes=$(wc -c < "$3" | tr -d ' ')
names=$(sed -n 's/^<\([A-Za-z_][A-Za-z0-9_.-]*\)[ >/].*/\1/p' "$3")
{
  printf '<?xml version="1.0" encoding="utf-8"?>\n<receivedBytes>%s</receivedBytes>\n' "$bytes"
  printf '<elementArray>\n'
  for name in $names; do printf '\t<element>%s</element>\n' "$name"; done
  printf '</elementArray>\n<status>ok</status>\n'
} > "$3.answer" && mv "$3.answer" "$3"
