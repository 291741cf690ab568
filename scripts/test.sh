#!/usr/bin/env bash
# Runs every test: the portable core natively under the sanitizers, the static analysis
# (clang-tidy), a short run of each fuzz target (clang, libFuzzer), then the Windows build (the
# core again, the Windows edge, the whole-program tests with a short soak, and the MSI) under
# Wine in a private prefix, and the same programs and tests built by clang.
#
# The builds run one after another in front. The Wine tests mostly wait on the agent's timers
# and the analysis needs only compile commands, so they run in the background (their output in
# build/<stage>.log, printed if they fail) and fill the cores the builds leave idle. Nothing is
# niced: beside other busy programs a niced stage barely runs, and the analysis is the longest
# stage. Each stage's time is printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-deps.sh
orbelune_ensure_packages "${orbelune_packages[@]}"
mkdir -p build

declare -A pids=() started=()
times=()
stop_background() {
    local pid prefix
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for prefix in build/windows/wineprefix build/windows-clang/wineprefix; do
        if [ -d "$prefix" ]; then WINEPREFIX=$PWD/$prefix wineserver -k 2>/dev/null || true; fi
    done
}
trap stop_background EXIT
front() {  # front STAGE COMMAND...: runs a stage and waits for it
    local start=$SECONDS
    "${@:2}"
    times+=("$1: $((SECONDS - start)) s")
}
back() {  # back STAGE COMMAND...: starts a stage in the background
    started[$1]=$SECONDS
    "${@:2}" >"build/$1.log" 2>&1 &
    pids[$1]=$!
}
finish() {  # finish STAGE: waits for a background stage and fails the run if it failed
    if ! wait "${pids[$1]}"; then
        cat "build/$1.log" >&2
        echo "test.sh: $1 failed; its output is above and in build/$1.log" >&2
        exit 1
    fi
    unset "pids[$1]"
    times+=("$1: $((SECONDS - started[$1])) s, in the background")
}

back clang-tidy bash scripts/tidy.sh
front native cmake --workflow --preset native
front build-windows sh -c 'cmake --preset windows && cmake --build --preset windows'
back test-windows ctest --preset windows
front build-windows-clang sh -c 'cmake --preset windows-clang && cmake --build --preset windows-clang'
back test-windows-clang ctest --preset windows-clang
front fuzz cmake --workflow --preset fuzz
finish test-windows
finish test-windows-clang
finish clang-tidy
cat build/clang-tidy.log
printf '%s\n' "test.sh: all green; the stages took:" "${times[@]}"
