#!/usr/bin/env bash
# Shows the agent's main job under Wine, in a prefix of its own (build/demo-prefix), in about
# 30 seconds: the agent starts, the peer simulator raises demand, the stand-in producer is
# started with its command line shown, demand lapses, the producer is stopped after the idle
# time, and the log is printed. It ends by itself and leaves no process behind.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-deps.sh
orbelune_ensure_packages "${orbelune_packages[@]}"

echo "== building"
cmake --preset windows >/dev/null
cmake --build --preset windows --target orbelune_vcam_agent orbelune_vcam_peer \
    orbelune_windows_retouch_vcam_producer >/dev/null

prefix=$PWD/build/demo-prefix
bin=$PWD/build/windows/bin
install=$prefix/drive_c/Orbelune  # C:\Orbelune inside the prefix
log=$prefix/drive_c/ProgramData/Orbelune/Logs/vcam-agent.log
run() { cmake/wine-run.sh "$prefix" "$@"; }
cleanup() { WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; }
trap cleanup EXIT
wait_for() {  # wait_for TEXT SECONDS: until the log holds TEXT
    for _ in $(seq $(($2 * 10))); do grep -q "$1" "$log" 2>/dev/null && return 0; sleep 0.1; done
    echo "timed out waiting for '$1'" >&2
    return 1
}

echo "== preparing the Wine prefix $prefix"
cmake/wine-prefix.sh init "$prefix"
rm -rf "$install" "$log"
mkdir -p "$install"
cp "$bin/orbelune_vcam_agent.exe" "$bin/orbelune_windows_retouch_vcam_producer.exe" "$install/"
run reg delete 'HKCU\Software\Orbelune' /f >/dev/null 2>&1 || true
run reg add 'HKCU\Software\Orbelune' /v IdleStopMs /t REG_DWORD /d 3000 /f >/dev/null 2>&1
echo "IdleStopMs = 3000; agent and stand-in producer in C:\\Orbelune"

echo "== starting the agent"
run "$install/orbelune_vcam_agent.exe" &
wait_for "idle; waiting" 30

echo "== a second agent in the same session"
status=0
run "$install/orbelune_vcam_agent.exe" || status=$?
echo "second agent exited with code $status"

echo "== the peer simulator raises demand for 5 seconds"
run "$bin/orbelune_vcam_peer.exe" --demand 5 --for 6 --print-every 3 &
peer=$!
wait_for "producer started" 15
sleep 0.5
echo "== the stand-in producer was started with:"
grep '^raw=' "$install/standin-producer.log" | sed 's/^raw=/  /'

echo "== demand lapses; waiting for the idle stop (2.5 s freshness + 3 s idle)"
wait_for "stopping producer" 20
wait "$peer" || true  # the agent keeps the sections mapped after the peer has gone

echo "== the log ($log)"
cat "$log"
[ "$status" -eq 0 ]
