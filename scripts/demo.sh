#!/usr/bin/env bash
# Shows the agent's main job under Wine, in a prefix of its own (build/demo-prefix), in about
# 30 seconds: the agent starts, the peer simulator raises demand with a consumer present, the
# stand-in producer is started with its command line shown, the control tool's doctor finds
# nothing wrong, the capabilities block (Wine has no camera: the fallback) and the consumers
# block (a running "zoom.exe" found in the consent store) are printed, demand lapses, the
# producer is stopped after the idle time, doctor again finds nothing wrong, and the log is
# printed. It ends by itself and leaves no process behind.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-deps.sh
orbelune_ensure_packages "${orbelune_packages[@]}"

echo "== building"
cmake --preset windows >/dev/null
cmake --build --preset windows --target orbelune_vcam_agent orbelune_vcam_peer \
    orbelune_windows_retouch_vcam_producer orbelune_vcam_ctl >/dev/null

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
cp "$bin/orbelune_vcam_agent.exe" "$bin/orbelune_windows_retouch_vcam_producer.exe" \
    "$bin/orbelune_vcam_ctl.exe" "$install/"
run reg delete 'HKCU\Software\Orbelune' /f >/dev/null 2>&1 || true
run reg add 'HKCU\Software\Orbelune' /v IdleStopMs /t REG_DWORD /d 3000 /f >/dev/null 2>&1
run "$install/orbelune_vcam_ctl.exe" install >/dev/null
echo "IdleStopMs = 3000; agent, stand-in producer and control tool in C:\\Orbelune, installed"
echo "to start at logon"

# A camera application: any long-running program will do; the stand-in producer, named
# zoom.exe, in use according to the current user's webcam consent store.
mkdir -p "$install/Apps"
cp "$bin/orbelune_windows_retouch_vcam_producer.exe" "$install/Apps/zoom.exe"
webcam='HKCU\Software\Microsoft\Windows\CurrentVersion\CapabilityAccessManager\ConsentStore\webcam'
run reg delete "$webcam" /f >/dev/null 2>&1 || true
run reg add "$webcam\NonPackaged\C:#Orbelune#Apps#zoom.exe" /v LastUsedTimeStart /t REG_QWORD \
    /d 134000000000000000 /f >/dev/null 2>&1
run "$install/Apps/zoom.exe" &
echo "zoom.exe running from C:\\Orbelune\\Apps and in use according to the consent store"

echo "== starting the agent"
run "$install/orbelune_vcam_agent.exe" &
wait_for "idle; waiting" 30

echo "== a second agent in the same session"
status=0
run "$install/orbelune_vcam_agent.exe" || status=$?
echo "second agent exited with code $status"

echo "== the peer simulator raises demand, with a consumer present, for 5 seconds"
run "$bin/orbelune_vcam_peer.exe" --demand 5 --heartbeat 5 --for 6 --print-every 2.5 &
peer=$!
wait_for "producer started" 15
sleep 0.5
echo "== the stand-in producer was started with:"
grep '^raw=' "$install/standin-producer.log" | sed 's/^raw=/  /'
echo "== orbelune_vcam_ctl doctor, while the producer runs:"
doctor=0
run "$install/orbelune_vcam_ctl.exe" doctor >"$prefix/doctor.txt" || doctor=$?
sed 's/^/  /' "$prefix/doctor.txt"

echo "== demand lapses; waiting for the idle stop (2.5 s freshness + 3 s idle)"
wait_for "stopping producer" 20
wait "$peer" || true  # the agent keeps the sections mapped after the peer has gone
echo "== orbelune_vcam_ctl doctor, after the idle stop:"
idle_doctor=0
run "$install/orbelune_vcam_ctl.exe" doctor >"$prefix/doctor.txt" || idle_doctor=$?
sed 's/^/  /' "$prefix/doctor.txt"

echo "== the log ($log)"
cat "$log"
[ "$status" -eq 0 ] && [ "$doctor" -eq 0 ] && [ "$idle_doctor" -eq 0 ]
