#!/usr/bin/env bash
# The soak test alone, for as long as asked (default 600 s = 10 minutes): the agent under
# Wine while the peer simulator switches demand and heartbeat on and off and the stand-in
# producer now and then dies. The test command runs the same test for 10 s.
#   bash scripts/soak.sh [SECONDS] [SEED]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-deps.sh
orbelune_ensure_packages "${orbelune_packages[@]}"

seconds=${1:-600}
seed=${2:-1}
cmake --preset windows >/dev/null
cmake --build --preset windows --target e2e_tests
prefix=$PWD/build/windows/wineprefix
cmake/wine-prefix.sh init "$prefix"
trap 'cmake/wine-prefix.sh stop "$prefix"' EXIT
# Judged as the test command judges it, with time for the start and the final idle stop.
ORBELUNE_SOAK_SECONDS=$seconds ORBELUNE_SOAK_SEED=$seed ORBELUNE_TEST_SECONDS=$((seconds + 300)) \
    cmake/wine-gtest.sh "$prefix" build/windows/bin/e2e_tests.exe --gtest_filter='AgentTest.StaysSteady*'
