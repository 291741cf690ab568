#!/usr/bin/env bash
# Builds the MSI for administrators from the `windows` preset (Release):
#   build/package/orbelune-camera-agent-<version>-x64.msi, the programs in it stripped, and
#   build/package/orbelune-camera-agent-<version>-x64-symbols/, the same programs with their
#   symbols beside them (NAME.exe.debug) for reading crash dumps.
# <version> is the project's version in CMakeLists.txt. docs/DEPLOYMENT.md tells how to deploy
# the package; the test command installs, upgrades and removes it under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure-deps.sh
orbelune_ensure_packages "${orbelune_packages[@]}"

cmake --preset windows >/dev/null
cmake --build --preset windows --target orbelune_msi
