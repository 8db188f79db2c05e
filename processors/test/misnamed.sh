#!/bin/sh
# Test processor: answers an array container whose second element has another name, so that
# only the entries before the container are converted.
[ "$1" = "-r" ] && [ "$2" = "-i" ] || exit 9
cat > "$3" <<'XML'
<?xml version="1.0" encoding="utf-8"?>
<first>kept</first>
<second>kept too</second>
<fileArray>
	<file>one.pdf</file>
	<page>wrong name</page>
</fileArray>
<after>never reached</after>
XML
