#!/usr/bin/env bash
# Runs every test: the portable core natively under the sanitizers, the static analysis
# (clang-tidy), a short run of each fuzz target (clang, libFuzzer), then the Windows build (the
# core again, the Windows edge, the whole-program tests with a short soak, and the MSI) under
# Wine in a private prefix, and the same programs and tests built by clang.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-deps.sh
orbelune_ensure_packages "${orbelune_packages[@]}"

cmake --workflow --preset native
bash scripts/tidy.sh
cmake --workflow --preset fuzz
cmake --workflow --preset windows
cmake --workflow --preset windows-clang
