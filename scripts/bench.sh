#!/usr/bin/env bash
# Runs every benchmark and writes docs/PERFORMANCE.md (about 7 minutes):
#  1. the core's instructions per pass and per operation, counted by callgrind on the native
#     build (build/bench);
#  2. demand-to-start latency and idle-to-stop accuracy of the whole agent under Wine, with
#     the peer simulator and the stand-in producer (orbelune_bench.exe), in a prefix of its
#     own (build/bench-prefix);
#  3. the agent's CPU time and peak working set over 60 s idle and over 60 s with a consumer
#     heartbeat and five applications in the webcam consent store, beside a floor program that
#     only starts COM and Media Foundation and sleeps (orbelune_bench_floor.exe);
#  4. the virtual camera's snapshots against the agent's writers in threads (the stress test of
#     scripts/stress.sh): one writer back to back and a millisecond apart, two writers a
#     millisecond apart, 60 s each.
#   bash scripts/bench.sh [TRIALS] [SECONDS]     defaults: 30 trials, 60 s per CPU and stress phase
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-deps.sh
orbelune_ensure_packages "${orbelune_packages[@]}" "${orbelune_bench_packages[@]}"

trials=${1:-30}
seconds=${2:-60}
root=$PWD
out=$root/docs/PERFORMANCE.md
work=$root/build/bench-results
mkdir -p "$work" docs

echo "== building"
cmake --preset bench >/dev/null
cmake --build --preset bench --target orbelune_core_bench snapshot_stress_long >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --target orbelune_vcam_agent orbelune_vcam_peer \
    orbelune_windows_retouch_vcam_producer orbelune_bench orbelune_bench_floor >/dev/null
bin=$root/build/windows/bin

echo "== instructions per operation (callgrind)"
iterations=1000
{
    echo "| case | what | instructions per call |"
    echo "|---|---|---|"
    while IFS=$'\t' read -r name what; do
        valgrind --tool=callgrind --collect-atstart=no --toggle-collect=RunMeasured \
            --callgrind-out-file="$work/callgrind.$name" \
            build/bench/bin/orbelune_core_bench "$name" "$iterations" 2>"$work/callgrind.$name.log"
        total=$(sed -n 's/^==[0-9]*== Collected : //p' "$work/callgrind.$name.log")
        echo "| \`$name\` | $what | $((total / iterations)) |"
    done < <(build/bench/bin/orbelune_core_bench --list)
} >"$work/instructions.md"
cat "$work/instructions.md"

echo "== snapshots against live writers ($seconds s per run)"
{
    for run in "0 1" "1000 1" "1000 2"; do
        read -r pause writers <<<"$run"
        echo "\`stress.sh $seconds 4 $pause $writers\`:"
        echo
        echo '```'
        build/bench/bin/snapshot_stress_long "$seconds" 4 "$pause" "$writers" || true
        echo '```'
        echo
    done
} >"$work/stress.md"
cat "$work/stress.md"

prefix=$root/build/bench-prefix
run() { cmake/wine-run.sh "$prefix" "$@"; }
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    cmake/wine-prefix.sh stop "$prefix"
}
trap cleanup EXIT
echo "== preparing the Wine prefix $prefix"
cmake/wine-prefix.sh init "$prefix"
run reg delete 'HKCU\Software\Orbelune' /f >/dev/null 2>&1 || true

echo "== demand to start and idle to stop ($trials trials)"
run "$bin/orbelune_bench.exe" --trials "$trials" | tr -d '\r' >"$work/timing.md"
cat "$work/timing.md"

# The Linux process that runs a Windows program of this prefix, found by its image name.
unix_pid() {
    local pid
    for pid in $(pgrep -f "$1"); do
        if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix"; then
            echo "$pid"
            return 0
        fi
    done
    return 1
}
# CPU time in ms (the scheduler's nanoseconds on a CPU, summed over the process's threads),
# and peak resident set in KiB, as Linux counts them.
cpu_ms() { cat /proc/"$1"/task/*/schedstat | awk '{ ns += $1 } END { printf "%.1f", ns / 1e6 }'; }
diff_ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a - b }'; }
peak_kib() { awk '/^VmHWM:/ { print $2 }' "/proc/$1/status"; }
wait_pid() {
    for _ in $(seq 100); do unix_pid "$1" && return 0; sleep 0.2; done
    echo "cannot find $1" >&2
    return 1
}

echo "== CPU time and peak working set ($seconds s per phase)"
apps='C:\OrbeluneBenchApps'
apps_unix=$prefix/drive_c/OrbeluneBenchApps
mkdir -p "$apps_unix"
run "$bin/orbelune_vcam_agent.exe" &
pids+=($!)
run "$bin/orbelune_bench_floor.exe" &
pids+=($!)
agent=$(wait_pid orbelune_vcam_agent.exe)
floor=$(wait_pid orbelune_bench_floor.exe)
sleep 5  # past start-up

measure() {  # measure PHASE: CPU ms of agent, floor and wineserver over $seconds
    local server a0 f0 s0
    server=$(pgrep -f "wineserver" | while read -r p; do
        tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix" && echo "$p"
    done | head -1)
    a0=$(cpu_ms "$agent")
    f0=$(cpu_ms "$floor")
    s0=$(cpu_ms "$server")
    sleep "$seconds"
    echo "$1 $(diff_ms "$(cpu_ms "$agent")" "$a0") $(diff_ms "$(cpu_ms "$floor")" "$f0")" \
        "$(diff_ms "$(cpu_ms "$server")" "$s0")" \
        "$(peak_kib "$agent") $(peak_kib "$floor")"
}
measure idle >"$work/cpu.txt"

# Five running applications with a camera in use, as the consent store records it.
store='HKCU\Software\Microsoft\Windows\CurrentVersion\CapabilityAccessManager\ConsentStore\webcam\NonPackaged'
for i in 1 2 3 4 5; do
    cp "$bin/orbelune_bench_floor.exe" "$apps_unix/app$i.exe"
    run reg add "$store\\C:#OrbeluneBenchApps#app$i.exe" /v LastUsedTimeStart /t REG_QWORD \
        /d $((134000000000000000 + i)) /f >/dev/null 2>&1
    run "$apps\\app$i.exe" &
    pids+=($!)
done
run "$bin/orbelune_vcam_peer.exe" --print-every 0 --heartbeat $((seconds + 30)) \
    --for $((seconds + 30)) >/dev/null 2>&1 &
pids+=($!)
sleep 3
measure consumer >>"$work/cpu.txt"
run reg delete "$store" /f >/dev/null 2>&1 || true
cat "$work/cpu.txt"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
{
    echo "| phase | agent CPU ms | floor CPU ms | ratio | wineserver CPU ms (shared) | agent peak KiB | floor peak KiB | ratio |"
    echo "|---|---|---|---|---|---|---|---|"
    while read -r phase a f s pa pf; do
        echo "| $phase ($seconds s) | $a | $f | $(ratio "$a" "$f") | $s | $pa | $pf | $(ratio "$pa" "$pf") |"
    done <"$work/cpu.txt"
} >"$work/cpu.md"
cat "$work/cpu.md"

cpu_model=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
{
    cat <<HEADER
# Performance

Measured by \`bash scripts/bench.sh\` (arguments: trials, seconds per CPU phase; defaults 30
and 60), which rebuilds what it needs and rewrites this file. Figures vary with the machine
and its load; rerun the command to reproduce them.

- Date: $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git rev-parse --short HEAD)
- Machine: $cpu_model, $(nproc) cores, $(awk '/^MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo) memory, load average at the start $(cut -d' ' -f1-3 /proc/loadavg)
- System: $(. /etc/os-release && echo "$PRETTY_NAME"), $(wine --version 2>/dev/null), $(x86_64-w64-mingw32-g++-posix --version | head -1), $(g++ --version | head -1)

## Core cost, in instructions

Counted by \`valgrind --tool=callgrind\` on the native build (RelWithDebInfo), collecting
only inside the measured loop of \`bench/core_bench.cpp\`, $iterations calls per case. A
pass's share of the core is its reading of the control block, the demand and presence
decisions and the producer plan; the Win32 calls around it (registry, sections, process
handles, the log) are not part of these counts.

HEADER
    cat "$work/instructions.md"
    cat <<TIMING

## Whole agent under Wine

\`orbelune_bench.exe\` starts the agent with \`IdleStopMs\` 1000 in a prefix of its own. Each
trial waits a random 200 to 700 ms (so that the peer's first tick falls anywhere in the
agent's 500 ms pass), starts the peer simulator with 300 ms of demand, and reads the control
block every millisecond for the peer's first tick. The stand-in producer records
\`GetTickCount64\` as its first instruction. The floor of the latency is the pass sleep: the
agent sees demand up to 500 ms after it appears; the rest is the pass's work and the process
start, which the bench measures in the same run by starting the stand-in directly.

The idle-stop figure compares the moment the producer's process ended with the last fresh
tick + 2500 ms + \`IdleStopMs\`. The rules count the idle time from the last pass that saw
demand, which comes up to one pass before the tick lapses, so values from about -500 ms up to
one pass plus the stop are what the rules give.

TIMING
    cat "$work/timing.md"
    cat <<CPU
### CPU time and memory

The agent (no demand; then a consumer heartbeat from the peer simulator and five running
programs with a camera in use in the webcam consent store) beside the floor program, both
measured over the same window. Wine 8 reports fixed figures from \`GetProcessTimes\` for
another process, so CPU time is read from Linux (the scheduler's time on a CPU in
\`/proc/PID/task/*/schedstat\`, summed over the threads) and the peak working set is the
peak resident set (\`VmHWM\`), which under Wine includes the Wine libraries each process
maps. Work that \`wineserver\` does for a program is
counted in the prefix's shared \`wineserver\` column, not in the program's own.
With a consumer present the agent rescans the consent store once a second (a process
snapshot, the store's registry keys, the consumers block); that rescan is what the consumer
phase adds. How its time splits between those calls has not been measured.

CPU
    cat "$work/cpu.md"
    cat <<'STRESS'

## Snapshots under a live writer

`tests/include/snapshot_stress.cpp`, built optimised from the public headers alone: the agent's
writers publish six consumer lists and six format sets each, in turn, while four threads take
snapshots as the virtual camera does and compare each with what was published. Per block:
snapshots taken, snapshots that gave nothing (rejected; settled: while no publication was in
flight from before the snapshot until after it), accepted ones that equal a publication (exact)
and those that do not (mixed; documented: a state that one writer's order of stores passes
through; settled as before), and how often a reader's `HasSeveralWriters` said so. With one
writer every mix must be documented; with two, the counts are what the virtual camera's page
warns of.

STRESS
    cat "$work/stress.md"
    cat <<'FOOT'

## How to reproduce

```sh
bash scripts/bench.sh           # everything above, about 7 minutes
bash scripts/bench.sh 100 120   # 100 trials, 120 s per CPU phase
```

The native core benchmark alone: `cmake --preset bench && cmake --build --preset bench`, then
`valgrind --tool=callgrind --collect-atstart=no --toggle-collect=RunMeasured
build/bench/bin/orbelune_core_bench pass-idle 1000` (the case names: `--list`).
FOOT
} >"$out"
echo "== wrote $out"
