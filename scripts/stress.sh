#!/usr/bin/env bash
# The snapshot stress test's long form: one thread publishing with the agent's writers back to
# back, READERS threads taking snapshots, for SECONDS; built optimised from the public headers
# alone (as C++17, as the virtual camera builds them). The test command runs it for 2 s under
# the sanitizers and again under ThreadSanitizer.
#   bash scripts/stress.sh [SECONDS [READERS [PAUSE_US]]]   (default 60, 4, back to back)
set -euo pipefail
cd "$(dirname "$0")/.."
mkdir -p build/stress
c++ -std=c++17 -O2 -pthread -Wall -Wextra -Wpedantic -Werror -Iinclude \
    tests/include/snapshot_stress.cpp -o build/stress/snapshot_stress
build/stress/snapshot_stress "${1:-60}" "${2:-4}" "${3:-0}"
