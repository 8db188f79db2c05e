#!/bin/sh
# Test processor: never ends by itself. Runs the tree-sleeper (VTPS_TREE_SLEEPER), which
# starts a child of its own and writes both ids to VTPS_TREE_IDS.
[ "$1" = "-r" ] && [ "$2" = "-i" ] || exit 9
"$VTPS_TREE_SLEEPER" "$VTPS_TREE_IDS" 60
