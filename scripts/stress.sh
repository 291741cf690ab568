#!/usr/bin/env bash
# The snapshot stress test's long form: WRITERS threads (1, or 2 as the agents of two sessions
# on the same Global\ blocks) publishing with the agent's writers, PAUSE_US apart, READERS
# threads taking snapshots, for SECONDS; built optimised from the public headers alone (as
# C++17, as the virtual camera builds them). The test command runs each writer count for 2 s
# under the sanitizers and again under ThreadSanitizer.
#   bash scripts/stress.sh [SECONDS [READERS [PAUSE_US [WRITERS]]]]
#                                              (default 60, 4, back to back, 1)
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench --target snapshot_stress_long >/dev/null
build/bench/bin/snapshot_stress_long "${1:-60}" "${2:-4}" "${3:-0}" "${4:-1}"
