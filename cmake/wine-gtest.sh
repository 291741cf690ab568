#!/bin/sh
# Runs a GoogleTest program under Wine as wine-test.sh runs a program (wine-gtest.sh PREFIX
# PROGRAM ARGS...) and judges the run by what it printed as well as by its exit code: under Wine
# a program that crashes after Media Foundation was started and shut down comes back with 0. The
# run passes only when the program exited 0 and GoogleTest printed its end-of-run summary, with
# at least one case passed, none failed, and no unhandled exception reported. A crash, an early
# exit(0) or ExitProcess(0), or a filter that selects nothing fails it. A program still running
# after ORBELUNE_TEST_SECONDS (default 420) is ended with every process of its prefix, and its
# output so far is shown.
prefix=$1
limit=${ORBELUNE_TEST_SECONDS:-420}
output=$(mktemp) || exit 1
status=0
# See wine-test.sh for why the output goes through a file.
timeout "$limit" "$(dirname "$0")/wine-run.sh" "$@" >"$output" 2>&1 || status=$?
if [ "$status" -eq 124 ]; then
    WINEPREFIX=$prefix wineserver -k 2>/dev/null
fi
cat "$output"
# GoogleTest's summary, and Wine's report of an exception nobody handled.
passed=$(sed -n 's/^\[  PASSED  \] \([0-9][0-9]*\) tests\{0,1\}\..*/\1/p' "$output")
failed=$(grep -c '^\[  FAILED  \]' "$output")
unhandled=$(grep -c 'Unhandled exception\|Unhandled page fault' "$output")
rm -f "$output"
verdict=
if [ "$status" -eq 124 ]; then
    verdict="still running after $limit s, ended"
elif [ "$status" -ne 0 ]; then
    verdict="exit code $status"
elif [ "$unhandled" -gt 0 ]; then
    verdict="an unhandled exception"
elif [ "$failed" -gt 0 ]; then
    verdict="a failed case, though its exit code was 0"
elif [ -z "$passed" ]; then
    verdict="no end-of-run summary: it ended before its last case"
elif [ "$passed" -eq 0 ]; then
    verdict="no case ran"
fi
if [ -n "$verdict" ]; then
    echo "wine-gtest.sh: $2 failed: $verdict" >&2
    exit 1
fi
