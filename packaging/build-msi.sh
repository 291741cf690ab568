#!/usr/bin/env bash
# Builds the MSI of the agent and the control tool with wixl from packaging/agent.wxs:
#   build-msi.sh VERSION BINDIR OUTDIR
# VERSION is major.minor.patch (the MSI's ProductVersion: at most 255.255.65534). BINDIR holds
# the built orbelune_vcam_agent.exe and orbelune_vcam_ctl.exe. Writes
#   OUTDIR/orbelune-camera-agent-VERSION-x64.msi
#   OUTDIR/orbelune-camera-agent-VERSION-x64-symbols/  the stripped programs as the package
#       holds them, each with a debug link to NAME.exe.debug beside it, which keeps the symbols
#       and debug sections, for reading crash dumps (gdb finds the file through the link).
# The log folders' security is added to the package with Wine's msidb, in the Wine prefix
# ORBELUNE_WINEPREFIX (by default OUTDIR/msidb-prefix, made for the call and stopped after it).
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

root=$(cd "$(dirname "$0")/.." && pwd)
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

# wixl has no element for a folder's security, so the MsiLockPermissionsEx rows (Windows
# Installer 5) that give the two log folders their SDDL are imported into the package here, with
# the table's columns as Windows Installer defines them. The SDDL is the one the agent gives the
# log folders it makes: the line of log/log_folder_security.sddl that starts with "D:". Windows
# Installer formats that column, so brackets, braces and "<" would be read as references.
sddl=$(grep -m 1 '^D:' "$root/log/log_folder_security.sddl" | tr -d '\r' || true)
if [[ -z $sddl || $sddl == *[][{}\<]* ]]; then
    echo "build-msi.sh: no SDDL without [ ] { } < in $root/log/log_folder_security.sddl" >&2
    exit 1
fi
tables=$(mktemp -d)
trap 'rm -rf "$tables"' EXIT
printf '%s\r\n' "MsiLockPermissionsEx	LockObject	Table	SDDLText	Condition" "s72	s72	s32	s0	S255" \
    "MsiLockPermissionsEx	MsiLockPermissionsEx" \
    "LockOrbeluneDataFolder	OrbeluneDataFolder	CreateFolder	$sddl	" \
    "LockLogFolder	LogFolder	CreateFolder	$sddl	" >"$tables/MsiLockPermissionsEx.idt"
prefix=${ORBELUNE_WINEPREFIX:-$out/msidb-prefix}
"$root/cmake/wine-prefix.sh" init "$prefix"
msi_path=$(cd "$out" && pwd)/$name.msi
# Its output to stderr: the last line of stdout names the package.
"$root/cmake/wine-test.sh" "$prefix" msidb -d "Z:${msi_path//\//\\}" -f "Z:${tables//\//\\}" \
    -i MsiLockPermissionsEx.idt >&2
if [ -z "${ORBELUNE_WINEPREFIX:-}" ]; then
    "$root/cmake/wine-prefix.sh" stop "$prefix"
fi
echo "$out/$name.msi"
