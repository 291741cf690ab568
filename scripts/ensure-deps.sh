#!/usr/bin/env bash
# Sourced by the README's commands: installs the Debian packages the build needs when they are
# missing and we are root; otherwise prints the exact install line and stops.
# clang and libclang-rt-14-dev build the libFuzzer targets (fuzz/); clang and lld also make the
# windows-clang build; clang-tidy is the static analyser (scripts/tidy.sh); wixl builds the MSI
# (packaging/) and Wine's msidb adds the log folders' security to it; valgrind counts the core's instructions in the benchmarks (scripts/bench.sh only).
orbelune_packages=(cmake make g++ libgtest-dev googletest g++-mingw-w64-x86-64-posix wine wine64
                   clang libclang-rt-14-dev lld clang-tidy wixl)
orbelune_bench_packages=(valgrind)

orbelune_ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    local line="apt-get update && apt-get install -y ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. As root, run:" >&2
        echo "  $line" >&2
        return 1
    fi
    echo "Installing ${missing[*]} ..."
    apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}
