#!/usr/bin/env bash
# Static analysis: clang-tidy with the checks in .clang-tidy over every source of ours. The
# Windows programs are read as the windows-clang build compiles them (MinGW-w64 target and
# headers), the native-only benchmark and fuzz targets as a native clang build compiles them.
# Any finding fails the run.
#   bash scripts/tidy.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-deps.sh
orbelune_ensure_packages "${orbelune_packages[@]}"

folders='agent|bench|capabilities|common|config|consumers|examples|fuzz|include|log|tests|tools'

# Configuring is enough: clang-tidy needs the compile databases, not the objects. The Windows
# one is the windows-clang build's, in a folder of its own without precompiled headers (those
# would have to be built before clang-tidy could read a source).
cmake --preset windows-clang -B build/tidy-windows -DORBELUNE_PCH=OFF >/dev/null
cmake -S . -B build/tidy-native -G "Unix Makefiles" -DCMAKE_CXX_COMPILER=clang++ \
    -DORBELUNE_TESTS=OFF -DORBELUNE_FUZZ=ON -DORBELUNE_BENCH=ON >/dev/null

sources() {  # sources BUILD_DIR: our files in the build's compile database, largest first
    grep -o '"file": "[^"]*"' "$1/compile_commands.json" | sed 's/^"file": "\(.*\)"$/\1/' |
        grep -E "^$PWD/($folders)/" | sort -u | xargs -r ls -S || true
}
windows=$(sources build/tidy-windows)
native_only=$(comm -23 <(sources build/tidy-native | sort) <(echo "$windows" | sort))

# The analyser steps into no inline code of libstdc++: it takes a call into the standard
# library as one opaque step, and follows every path through our own code. Stepping into it
# was most of its time (GoogleTest's matchers and printers in the tests are templates over the
# standard containers, and every string and vector of ours leads there).
analyser=(--extra-arg=-Xclang --extra-arg=-analyzer-config
          --extra-arg=-Xclang --extra-arg=c++-stdlib-inlining=false)

log=build/tidy.log
: >"$log"
tidy() {  # tidy BUILD_DIR SOURCES [OPTIONS]: each source once, largest first, on every core
    [ -n "$2" ] || return 0
    echo "$2" | xargs -P "$(nproc)" -n 1 clang-tidy --quiet -p "$1" "${analyser[@]}" "${@:3}" \
        >>"$log" 2>&1
}
# The tests get every check but the path-sensitive analyser, which spent a quarter of the whole
# analysis on them: what it finds in a test (a leak, a null dereference) shows when the test
# runs, natively under the sanitizers and the leak checker, or as it fails under Wine.
ours() { grep -v "^$PWD/tests/" <<<"$1" || true; }
tests() { grep "^$PWD/tests/" <<<"$1" || true; }
status=0
tidy build/tidy-windows "$(ours "$windows")" || status=1
tidy build/tidy-windows "$(tests "$windows")" --checks=-clang-analyzer-* || status=1
tidy build/tidy-native "$native_only" || status=1
count=$(echo "$windows" "$native_only" | wc -w)
if [ "$status" -ne 0 ]; then
    grep -v 'warnings\? generated\.$' "$log" >&2
    echo "clang-tidy: findings in the $count sources above (whole output: $log)" >&2
    exit 1
fi
echo "clang-tidy: $count sources, no findings"
