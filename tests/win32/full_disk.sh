#!/usr/bin/env bash
# The error log on a full drive under Wine: a small tmpfs mapped into the prefix as drive T:
# and filled to the last block. An entry that does not fit must leave nothing behind, and once
# space is free again the next entry must start a line of its own. Checked through the Win32
# file layer (platform_tests.exe), the Windows murl-sim with the built-in plug-in, and murl.dll
# through COM from the same drive.
#
# usage: full_disk.sh PREFIX BIN MURL_SIM_EXE
# Exit 77 (skipped) where tmpfs cannot be mounted.
set -euo pipefail

export WINEPREFIX=$1
. "$(dirname "$0")/../../cmake/wine-env.sh"
bin=$2
sim=$3
drive=t:
work=$(mktemp -d)
mount_point=$work/drive
mkdir "$mount_point"

dll_bytes=$(stat -c %s "$bin/murl.dll")
size=$(((dll_bytes / 4096 + 1) * 4096 + 65536))
if ! mount -t tmpfs -o size=$size tmpfs "$mount_point" 2>"$work/mount.err"; then
    echo "skipped: cannot mount a tmpfs for a full drive: $(cat "$work/mount.err")"
    rm -rf "$work"
    exit 77
fi
link=$WINEPREFIX/dosdevices/$drive
cleanup() {
    rm -f "$link"
    umount "$mount_point" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
ln -sfn "$mount_point" "$link"

status=0
fail() {
    echo "FAIL: $*" >&2
    status=1
}

fill() {  # every free block of the drive, in a file that free() removes
    dd if=/dev/zero of="$mount_point/filler" bs=4096 2>/dev/null || true
}
free_space() {
    rm -f "$mount_point/filler"
}

# ---- The Win32 file layer --------------------------------------------------------------------
if ! MURL_FULL_DRIVE=T: wine "$bin/platform_tests.exe" full_disk_keeps_log_entries_whole \
        </dev/null >"$work/platform.out" 2>&1; then
    cat "$work/platform.out" >&2
    fail "platform_tests full_disk_keeps_log_entries_whole"
fi
rm -f "$mount_point"/*

# ---- murl-sim: every init fails and reports; the reports fill the drive ----------------------
{
    echo "fault GetHooks"
    echo "init"
    for _ in $(seq 100); do printf 'destroy\ncreate\ninit\n'; done
} >"$work/fill.scenario"
printf 'fault GetHooks\ninit\n' >"$work/one.scenario"
scenario() { printf 'Z:%s' "${1//\//\\}"; }

# Every line of the log is one whole report; sets `entries` to their number.
check_log() {  # NAME LINES_AT_LEAST
    local log=$mount_point/murl_err.log
    local whole=$'^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\tError in IPlugin2_Initialize: GetHooks failed \\(simulated fault\\)\\. At line 40\r$'
    local lines
    lines=$(wc -l <"$log")
    if grep -Evq "$whole" "$log" || [ -n "$(tail -c 2 "$log" | tr -d '\r\n')" ]; then
        fail "$1: the log holds a broken entry"
        grep -Evn "$whole" "$log" | cut -c1-120 >&2 || true
    fi
    [ "$lines" -ge "$2" ] || fail "$1: $lines entries, expected at least $2"
    entries=$lines
}

for mode in builtin com; do
    rm -f "$mount_point"/*
    if [ $mode = builtin ]; then
        run=(wine "$sim" run --module-dir 'T:\' --clock "2024-05-17 21:30:00")
    else
        cp "$bin/murl.dll" "$mount_point/murl.dll"
        run=(wine "$sim" run --plugin com --dll 'T:\murl.dll')
    fi
    "${run[@]}" "$(scenario "$work/one.scenario")" >/dev/null </dev/null || fail "$mode: first run"
    fill
    "${run[@]}" "$(scenario "$work/fill.scenario")" >/dev/null </dev/null ||
        fail "$mode: run on the full drive"
    check_log "$mode, full drive" 2
    before=$entries
    free_space
    "${run[@]}" "$(scenario "$work/one.scenario")" >/dev/null </dev/null ||
        fail "$mode: run after space was freed"
    check_log "$mode, space freed" $((before + 1))
    [ "$entries" -eq $((before + 1)) ] ||
        fail "$mode: $entries entries after freeing, expected $((before + 1))"
done

[ $status = 0 ] && echo "full drive: entries stay whole (file layer, builtin, COM)"
exit $status
