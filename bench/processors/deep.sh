#!/bin/sh
# Load-run processor: answers an element nested 100,000 levels deep and succeeds.
[ "$1" = "-r" ] && [ "$2" = "-i" ] || exit 9
awk 'BEGIN {
  printf "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
  for (i = 0; i < 100000; ++i) printf "<deep>"
  for (i = 0; i < 100000; ++i) printf "</deep>"
  printf "\n"
}' > "$3"
