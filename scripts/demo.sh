#!/usr/bin/env bash
# Shows the agent at work under Wine, in a prefix of its own (build/demo-prefix): it starts,
# writes its log, and a second agent in the same session logs its line and exits with 0.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-deps.sh
orbelune_ensure_packages "${orbelune_packages[@]}"

cmake --preset windows >/dev/null
cmake --build --preset windows --target orbelune_vcam_agent >/dev/null

prefix=$PWD/build/demo-prefix
bin=$PWD/build/windows/bin
run=(cmake/wine-run.sh "$prefix")
log=$prefix/drive_c/ProgramData/Orbelune/Logs/vcam-agent.log
cleanup() { WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; }
trap cleanup EXIT

echo "== preparing the Wine prefix $prefix"
cmake/wine-prefix.sh init "$prefix"
rm -f "$log"

echo "== starting the agent"
"${run[@]}" "$bin/orbelune_vcam_agent.exe" &
for _ in $(seq 100); do [ -s "$log" ] && break; sleep 0.1; done

echo "== starting a second agent in the same session"
status=0
"${run[@]}" "$bin/orbelune_vcam_agent.exe" || status=$?
echo "second agent exited with code $status"

echo "== the log ($log)"
cat "$log"
[ "$status" -eq 0 ]
