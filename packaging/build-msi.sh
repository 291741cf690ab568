#!/usr/bin/env bash
# Builds the MSI of the agent and the control tool with wixl from packaging/agent.wxs:
#   build-msi.sh VERSION BINDIR OUTDIR
# VERSION is major.minor.patch (the MSI's ProductVersion: at most 255.255.65534). BINDIR holds
# the built orbelune_vcam_agent.exe and orbelune_vcam_ctl.exe. Writes
#   OUTDIR/orbelune-camera-agent-VERSION-x64.msi
#   OUTDIR/orbelune-camera-agent-VERSION-x64-symbols/  the stripped programs as the package
#       holds them, each with a debug link to NAME.exe.debug beside it, which keeps the symbols
#       and debug sections, for reading crash dumps (gdb finds the file through the link).
set -euo pipefail
if [ $# -ne 3 ]; then
    echo "usage: build-msi.sh VERSION BINDIR OUTDIR" >&2
    exit 2
fi
version=$1
bin=$2
out=$3
if ! [[ $version =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)$ ]] || ((BASH_REMATCH[1] > 255)) ||
    ((BASH_REMATCH[2] > 255)) || ((BASH_REMATCH[3] > 65534)); then
    echo "build-msi.sh: the version must be major.minor.patch up to 255.255.65534: $version" >&2
    exit 2
fi
# The first version above this one. wixl ignores IncludeMaximum, so the upgrade range ends
# below this instead, which takes in this version itself: a rebuild of the same version
# replaces the installed one rather than being installed beside it.
next="${BASH_REMATCH[1]}.${BASH_REMATCH[2]}.$((BASH_REMATCH[3] + 1))"

objcopy=x86_64-w64-mingw32-objcopy
if ! command -v wixl >/dev/null; then
    echo "build-msi.sh: wixl is missing; it is in Debian's wixl package" >&2
    exit 1
fi
name=orbelune-camera-agent-$version-x64
symbols=$out/$name-symbols
rm -rf "$symbols" "$out/$name.msi"
mkdir -p "$symbols"
for program in orbelune_vcam_agent.exe orbelune_vcam_ctl.exe; do
    "$objcopy" --only-keep-debug "$bin/$program" "$symbols/$program.debug"
    "$objcopy" --strip-all --add-gnu-debuglink="$symbols/$program.debug" "$bin/$program" \
        "$symbols/$program"
done
# wixl takes the sources of files relative to its working folder only.
wxs=$(cd "$(dirname "$0")" && pwd)/agent.wxs
(cd "$symbols" && wixl --arch x64 --define Version="$version" --define UpgradeBelow="$next" \
    --define BinDir=. --output ../"$name.msi" "$wxs")
echo "$out/$name.msi"
