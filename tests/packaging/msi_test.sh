#!/usr/bin/env bash
# The MSI under Wine, in a fresh prefix of its own, as an administrator uses it:
#  0. every table the build adds to what wixl writes is whole as Windows Installer defines it;
#  1. a silent per-machine install puts both programs, stripped, into Program Files and writes
#     the machine's Run value, whose command starts the agent ("agent starting" in the log);
#     the installed control tool reports the value, and Add/Remove Programs lists the product;
#     the log folder is made first, and the package gives both log folders the agent's security
#     for them (MsiLockPermissionsEx rows, which Wine's msiexec does not apply); the
#     administrators' page (docs/DEPLOYMENT.md) names what the package installs as it is;
#  2. a package of a higher version, installed over it into another folder (INSTALLDIR),
#     replaces it: one product remains, and the Run value names the new folder;
#  3. a rebuild of that version, installed without INSTALLDIR, replaces it in the same folder;
#  4. the older package is then refused (exit code 1603) and changes nothing;
#  5. the uninstall command of Add/Remove Programs removes the programs, their folders, the Run
#     value and the remembered folder, and leaves the log and the user's settings.
#   msi_test.sh MSI BINDIR WORKDIR
# MSI is the package under test; BINDIR holds the programs it was built from, for the
# higher-version package; WORKDIR is emptied and holds the prefix and that package.
set -euo pipefail
msi=$(realpath "$1")
bin=$(realpath "$2")
work=$(realpath -m "$3")
root=$(cd "$(dirname "$0")/../.." && pwd)
prefix=$work/prefix
log=$prefix/drive_c/ProgramData/Orbelune/Logs/vcam-agent.log
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
default_dir='C:\Program Files\Orbelune\Camera Agent'
custom_dir='C:\Camera Apps\Orbelune'

run() { "$root/cmake/wine-test.sh" "$prefix" "$@"; }
unix_path() { # C:\a\b -> the prefix's drive_c/a/b
    local rest=${1#C:\\}
    echo "$prefix/drive_c/${rest//\\//}"
}
windows_path() { # Wine's Z: drive is the Unix root
    echo "Z:${1//\//\\}"
}
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
expect_equal() { # WHAT ACTUAL EXPECTED
    [ "$2" = "$3" ] || fail "$1: got [$2], expected [$3]"
    echo "ok: $1"
}
# The data of one registry value, or nothing when it is missing.
reg_value() { # KEY NAME
    run reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        sed -n "s/^    $2    REG_[A-Z_]*    //p" || true
}
# One line per installed product named Orbelune Camera Agent: version, publisher, install
# location and uninstall command, separated by '|'.
products() {
    run reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' | awk '
        function flush() {
            if (v["DisplayName"] == "Orbelune Camera Agent")
                print v["DisplayVersion"] "|" v["Publisher"] "|" v["InstallLocation"] "|" \
                      v["UninstallString"]
            delete v
        }
        /^HKEY_/ { flush() }
        match($0, /^    [A-Za-z]+    REG_[A-Z_]+    /) {
            split($0, f, /    /)
            v[f[2]] = substr($0, RLENGTH + 1)
        }
        END { flush() }'
}
msiexec_status() { # ARGUMENTS...; runs msiexec silently and prints its exit code
    local status=0
    run msiexec "$@" /qn || status=$?
    echo "$status"
}

version=$(basename "$msi" | sed -n 's/^orbelune-camera-agent-\([0-9.]*\)-x64\.msi$/\1/p')
[ -n "$version" ] || fail "cannot read the version from $msi"
higher=${version%.*}.$((${version##*.} + 1))

agent=
cleanup() {
    if [ -n "$agent" ]; then kill "$agent" 2>/dev/null || true; fi
    "$root/cmake/wine-prefix.sh" stop "$prefix"
}
trap cleanup EXIT
rm -rf "$work"
mkdir -p "$work"
"$root/cmake/wine-prefix.sh" init "$prefix"
export ORBELUNE_WINEPREFIX=$prefix # for the msidb of build-msi.sh
higher_msi=$("$root/packaging/build-msi.sh" "$higher" "$bin" "$work")
rebuilt_msi=$("$root/packaging/build-msi.sh" "$higher" "$bin" "$work/rebuild")

echo "== the tables the build adds to what wixl writes"
# Neither wixl nor Wine's msiexec reads these tables, so this is their only check: each must be
# whole as Windows Installer defines it (names, types and keys from Microsoft's page of the
# table; in a column definition the letter is the type, upper case when the column may be null,
# and the number its width, 0 for any), with exactly these rows.
# MsiLockPermissionsEx: MsiLockPermissionsEx (Text, the key), LockObject (Identifier), Table
# (Text), SDDLText (FormattedSDDLText), Condition (Condition, the only nullable column).
sddl='D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200af;;;IU)(A;OIIO;0x12008d;;;IU)(A;OICI;RC;;;OW)'
declare -A added=(
    [MsiLockPermissionsEx]="MsiLockPermissionsEx	LockObject	Table	SDDLText	Condition
s72	s72	s32	s0	S255
MsiLockPermissionsEx	MsiLockPermissionsEx
LockLogFolder	LogFolder	CreateFolder	$sddl	
LockOrbeluneDataFolder	OrbeluneDataFolder	CreateFolder	$sddl	"
)
export_tables() { # MSI FOLDER: every table of the package, one FOLDER/NAME.idt each
    mkdir -p "$2"
    run msidb -d "$(windows_path "$1")" -f "$(windows_path "$2")" -e '*' >/dev/null
}
symbols=${msi%.msi}-symbols
(cd "$symbols" && wixl --arch x64 --define Version="$version" --define UpgradeBelow="$higher" \
    --define BinDir=. --output "$work/wixl.msi" "$root/packaging/agent.wxs")
export_tables "$work/wixl.msi" "$work/wixl-tables"
export_tables "$msi" "$work/tables"
names() { ls "$1" | sed -n 's/\.idt$//p' | sort; }
expect_equal "tables added" "$(comm -13 <(names "$work/wixl-tables") <(names "$work/tables"))" \
    "$(printf '%s\n' "${!added[@]}" | sort)"
for table in "${!added[@]}"; do
    # Rows in key order: msidb exports them in the order the package stores them.
    idt=$work/tables/$table.idt
    expect_equal "$table" "$(head -n 3 "$idt" | tr -d '\r'; tail -n +4 "$idt" | tr -d '\r' | sort)" \
        "${added[$table]}"
done
# Each lock names a folder of the CreateFolder table (Directory_ is its first column).
while IFS=$'\t' read -r _ object table _; do
    cut -f1 "$work/tables/CreateFolder.idt" | tr -d '\r' | tail -n +4 | grep -qxF "$object" ||
        fail "the lock on $table $object names no folder the package creates"
done < <(tr -d '\r' <"$work/tables/MsiLockPermissionsEx.idt" | tail -n +4)
echo "ok: every lock names a folder the package creates"

echo "== install $version silently"
expect_equal "msiexec exit code" "$(msiexec_status /i "$(windows_path "$msi")")" 0
for program in orbelune_vcam_agent.exe orbelune_vcam_ctl.exe; do
    installed=$(unix_path "$default_dir\\$program")
    cmp -s "$installed" "$symbols/$program" || fail "$installed is not the packaged $program"
    if x86_64-w64-mingw32-objdump -h "$installed" | grep -q '\.debug_'; then
        fail "$program is installed with debug sections"
    fi
    [ -s "$symbols/$program.debug" ] || fail "no symbols for $program beside the package"
done
echo "ok: both programs installed, stripped, with their symbols beside the package"
expect_equal "Run value" "$(reg_value "$run_key" OrbeluneCameraAgent)" \
    "\"$default_dir\\orbelune_vcam_agent.exe\""
expect_equal "Add/Remove Programs" "$(products | cut -d'|' -f1-3)" \
    "$version|Orbelune|$default_dir\\"

[ -d "$prefix/drive_c/ProgramData/Orbelune/Logs" ] || fail "no ProgramData\\Orbelune\\Logs"

# The administrators' page states the package's folder, values, entry, refusal and SDDL; each
# must stand there as the package has it (the page's lines joined, as Markdown reads them).
page=$(tr '\n' ' ' <"$root/docs/DEPLOYMENT.md" | tr -s ' ')
refusal=$(sed -n 's/.*<Condition Message="\([^"]*\)">.*/\1/p' "$root/packaging/agent.wxs")
for fact in "\`$default_dir\\\`" "\`OrbeluneCameraAgent\` under \`HKEY_LOCAL_MACHINE\\${run_key#HKLM\\}\`" \
    "\"Orbelune Camera Agent\" by Orbelune" "\`InstallDir\` under \`HKEY_LOCAL_MACHINE\\Software\\Orbelune\\Camera Agent\`" \
    "says \"$refusal\"" "'$sddl'"; do
    grep -qF -- "$fact" <<<"$page" || fail "docs/DEPLOYMENT.md does not say: $fact"
done
echo "ok: docs/DEPLOYMENT.md as the package is"
echo "ok: the log folder is there before any agent runs"

echo "== the Run value's command starts the agent"
command=$(reg_value "$run_key" OrbeluneCameraAgent)
command=${command#\"}
"$root/cmake/wine-run.sh" "$prefix" "${command%\"}" & # $! is then the agent's process
agent=$!
for _ in $(seq 300); do
    grep -q ' agent starting' "$log" 2>/dev/null && break
    sleep 0.1
done
grep -q ' agent starting' "$log" 2>/dev/null || fail "no \"agent starting\" in $log"
echo "ok: agent starting"
status=$(run "$default_dir\\orbelune_vcam_ctl.exe" status | tr -d '\r')
grep -qxF "logon entry for all users: installed, \"$default_dir\\orbelune_vcam_agent.exe\"" \
    <<<"$status" || fail "status does not show the machine's Run value: $status"
json=$(run "$default_dir\\orbelune_vcam_ctl.exe" status --json)
# JSON doubles each backslash and escapes the quotes.
expected=$(printf '"logonEntry":null,"machineLogonEntry":"\\"%s\\\\orbelune_vcam_agent.exe\\""' \
    "${default_dir//\\/\\\\}")
grep -qF "$expected" <<<"$json" || fail "status --json: no $expected in $json"
echo "ok: status and status --json show the machine's Run value"
kill "$agent"
wait "$agent" || true
agent=

echo "== install $higher over it, into $custom_dir"
expect_equal "msiexec exit code" \
    "$(msiexec_status /i "$(windows_path "$higher_msi")" "INSTALLDIR=$custom_dir")" 0
expect_equal "Add/Remove Programs" "$(products | cut -d'|' -f1-3)" \
    "$higher|Orbelune|$custom_dir\\"
[ ! -e "$(unix_path "$default_dir")" ] || fail "$default_dir is still there"
[ -f "$(unix_path "$custom_dir\\orbelune_vcam_ctl.exe")" ] || fail "nothing in $custom_dir"
expect_equal "Run value" "$(reg_value "$run_key" OrbeluneCameraAgent)" \
    "\"$custom_dir\\orbelune_vcam_agent.exe\""

echo "== install a rebuild of $higher without INSTALLDIR"
expect_equal "msiexec exit code" "$(msiexec_status /i "$(windows_path "$rebuilt_msi")")" 0
expect_equal "Add/Remove Programs" "$(products | cut -d'|' -f1-3)" \
    "$higher|Orbelune|$custom_dir\\"
expect_equal "Run value" "$(reg_value "$run_key" OrbeluneCameraAgent)" \
    "\"$custom_dir\\orbelune_vcam_agent.exe\""

echo "== install $version again: refused"
# 1603, ERROR_INSTALL_FAILURE; a Unix exit status keeps its low 8 bits, 67.
expect_equal "msiexec exit code" "$(msiexec_status /i "$(windows_path "$msi")")" $((1603 % 256))
expect_equal "Add/Remove Programs" "$(products | cut -d'|' -f1)" "$higher"

echo "== uninstall with the command of Add/Remove Programs"
run reg add 'HKCU\Software\Orbelune' /v IdleStopMs /t REG_DWORD /d 3000 /f >/dev/null 2>&1
uninstall=$(products | cut -d'|' -f4)
[[ $uninstall =~ ^MsiExec.exe\ /X(\{[0-9A-F-]+\})$ ]] || fail "uninstall command: $uninstall"
expect_equal "msiexec exit code" "$(msiexec_status /X "${BASH_REMATCH[1]}")" 0
expect_equal "Add/Remove Programs" "$(products)" ""
[ ! -e "$(unix_path "$custom_dir")" ] || fail "$custom_dir is still there"
expect_equal "Run value" "$(reg_value "$run_key" OrbeluneCameraAgent)" ""
expect_equal "remembered folder" \
    "$(reg_value 'HKLM\Software\Orbelune\Camera Agent' InstallDir)" ""
grep -q ' agent starting' "$log" || fail "the log is gone"
expect_equal "the user's IdleStopMs" "$(reg_value 'HKCU\Software\Orbelune' IdleStopMs)" 0xbb8
echo "msi_test: every check passed"
