#!/bin/sh
# Test processor: replaces the job file (after -r -i) with a fixed answer: strings, a
# sub-dictionary and an array container.
[ "$1" = "-r" ] && [ "$2" = "-i" ] || exit 9
cat > "$3" <<'XML'
<?xml version="1.0" encoding="utf-8"?>
<status>done</status>
<pages>3</pages>
<info>
	<title>Fixed answer</title>
	<author>VTPS tests</author>
</info>
<fileArray>
	<file>one.pdf</file>
	<file>two.pdf</file>
</fileArray>
XML
