#!/usr/bin/env bash
# A longer fuzzing run than the test command's: every libFuzzer target for the given seconds
# (default 300 each), keeping its corpus in build/fuzz/corpus/<target> so that later runs go
# on from where this one stopped. A failing input is left in build/fuzz/ as crash-*.
#   bash scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-deps.sh
orbelune_ensure_packages "${orbelune_packages[@]}"

seconds=${1:-300}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in build/fuzz/bin/fuzz_*; do
    name=$(basename "$target")
    mkdir -p "build/fuzz/corpus/$name"
    echo "== $name for $seconds s"
    (cd build/fuzz && "../../$target" -max_total_time="$seconds" -max_len=4096 \
        -print_final_stats=1 "corpus/$name")
done
