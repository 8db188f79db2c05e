#!/bin/sh
# Test processor: gathers as many MiB as the job file's <mib> element asks for in a shell
# variable, then answers <allocated> with the number of bytes it holds. Over a memory limit
# the shell's allocation fails and it does not succeed.
[ "$1" = "-r" ] && [ "$2" = "-i" ] || exit 9
mib=$(sed -n 's:.*<mib>\([0-9]*\)</mib>.*:\1:p' "$3")
[ -n "$mib" ] || exit 8
x=$(head -c $((mib * 1048576)) /dev/zero | tr '\0' a) || exit 7
printf '<?xml version="1.0" encoding="utf-8"?>\n<allocated>%s</allocated>\n' "${#x}" > "$3"
