#!/bin/sh
# Runs a Windows test program as wine-run.sh does (wine-test.sh PREFIX PROGRAM ARGS...), its
# output held in a file and printed once the program has ended. Wine's own processes (the
# wineserver, services, device host, console host) start with the first program and inherit its
# standard output; a reader of a pipe, as CTest and $(...) are, waits until every writer has
# closed it, and so would wait on whichever of them is slow to end rather than on the test.
output=$(mktemp) || exit 1
status=0
"$(dirname "$0")/wine-run.sh" "$@" >"$output" 2>&1 || status=$?
cat "$output"
rm -f "$output"
exit "$status"
