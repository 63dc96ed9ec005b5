#!/usr/bin/env bash
# The Windows murl-sim under Wine, where it differs from the native one: its command line is
# read as UTF-16, the registry's sections are all listed, and failures of the machine are named.
#
# usage: murl-sim-windows.sh PREFIX BIN MURL_SIM_EXE
set -euo pipefail

export WINEPREFIX=$1 LC_ALL=C.UTF-8
. "$(dirname "$0")/../../cmake/wine-env.sh"
bin=$2
sim=$3
work=$(mktemp -d)
trap 'rm -rf "$work"; wine reg delete "$app_key" /f >/dev/null 2>&1 || true' EXIT
app_key='HKCU\Software\VB and VBA Program Settings\Murl'
wine reg delete "$app_key" /f >/dev/null 2>&1 || true

status=0
fail() {
    echo "FAIL: $*" >&2
    status=1
}
windows_path() {
    local path
    path=$(realpath -m "$1")
    printf 'Z:%s' "${path//\//\\}"
}
# Runs murl-sim; its output goes to $work/out and $work/err, its exit status to $code.
sim() {
    code=0
    wine "$sim" "$@" >"$work/out" 2>"$work/err" </dev/null || code=$?
}
expect() {  # NAME EXPECTED_CODE EXPECTED_OUT [EXPECTED_ERR]
    [ "$code" = "$2" ] || fail "$1: exit status $code, expected $2 ($(head -c 300 "$work/err"))"
    [ "$(cat "$work/out")" = "$3" ] || fail "$1: printed \"$(head -c 300 "$work/out")\", expected \"$3\""
    if [ $# -ge 4 ]; then
        [ "$(cat "$work/err")" = "$4" ] || fail "$1: said \"$(head -c 300 "$work/err")\", expected \"$4\""
    fi
}

# ---- Arguments arrive as typed: sections, keys and values in any script ----------------------
texts=("café" "cafè" "Жук" "中文" "😀" "e01 mixed Жук 中文 😀")
for i in "${!texts[@]}"; do
    sim settings set "${texts[$i]}" "key ${texts[$i]}" "value $i ${texts[$i]}"
    expect "set ${texts[$i]}" 0 ""
done
for i in "${!texts[@]}"; do
    sim settings get "${texts[$i]}" "key ${texts[$i]}"
    expect "get ${texts[$i]}" 0 "value $i ${texts[$i]}"
done

# ---- Every section is listed: nested keys by their full name, long names too ----------------
long=$(printf 'L%.0s' $(seq 256))
sim settings set 'a\b' Evades 1
sim settings set 'a\b\c' Zero 2
sim settings set "$long" Resists 3
sim settings set Settings Bots True
sim settings list --json
listing=$(cat "$work/out")
for entry in '"section":"a\\b","key":"Evades","value":"1"' \
             '"section":"a\\b\\c","key":"Zero","value":"2"' \
             "\"section\":\"$long\",\"key\":\"Resists\",\"value\":\"3\"" \
             '"section":"Settings","key":"Bots","value":"True"' \
             '"section":"café","key":"key café","value":"value 0 café"' \
             '"section":"😀","key":"key 😀","value":"value 4 😀"'; do
    grep -qF "$entry" <<<"$listing" || fail "listing lacks $entry"
done
[ "$(wc -l <<<"$listing")" = 10 ] || fail "listing has $(wc -l <<<"$listing") entries, expected 10"

# ---- Values of other registry types are listed with their type, never left out ---------------
# Each row: the type and data as reg add takes them, then the listing's line and JSON value.
typed_rows=(
    "REG_DWORD|12|[Typed] Evades = 12 (REG_DWORD)|\"value\":12,\"type\":\"REG_DWORD\""
    "REG_QWORD|0x100000000|[Typed] Evades = 4294967296 (REG_QWORD)|\"value\":4294967296,\"type\":\"REG_QWORD\""
    "REG_EXPAND_SZ|12|[Typed] Evades = \"12\" (REG_EXPAND_SZ)|\"value\":\"12\",\"type\":\"REG_EXPAND_SZ\""
    "REG_BINARY|0102|[Typed] Evades = an unreadable value (REG_BINARY)|\"value\":null,\"type\":\"REG_BINARY\""
    "REG_MULTI_SZ|12|[Typed] Evades = an unreadable value (REG_MULTI_SZ)|\"value\":null,\"type\":\"REG_MULTI_SZ\""
)
for row in "${typed_rows[@]}"; do
    IFS='|' read -r type data line json <<<"$row"
    wine reg add "$app_key\\Typed" /v Evades /t "$type" /d "$data" /f >/dev/null
    sim settings list
    grep -qxF "$line" <<<"$(tr -d '\r' <"$work/out")" || fail "$type: listing lacks $line"
    sim settings list --json
    grep -qF "\"section\":\"Typed\",\"key\":\"Evades\",$json}" "$work/out" ||
        fail "$type: JSON listing lacks $json"
done
sim settings set Typed Zero 7 --number
sim settings get Typed Zero
expect "settings set --number, then get" 0 "7"
sim settings set Typed Zero -7 --number
[ "$code" = 2 ] || fail "settings set --number of a negative number: exit status $code, expected 2"
wine reg delete "$app_key\\Typed" /f >/dev/null

# ---- Paths in any script: the module folder, the scenario and the DLL -----------------------
folder="$work/café Жук 中文 😀"
mkdir "$folder"
printf 'fault GetHooks\ninit\n' >"$folder/report.scenario"
sim run --module-dir "$(windows_path "$folder")" --clock "2024-05-17 21:30:00" \
    "$(windows_path "$folder/report.scenario")"
expect "run with a module folder named in four scripts" 0 \
    "$(printf '     1         fault GetHooks\n     2         init')"
[ "$(cat "$folder/murl_err.log" 2>/dev/null)" = \
  "$(printf '2024-05-17 21:30:00\tError in IPlugin2_Initialize: GetHooks failed (simulated fault). At line 40\r')" ] ||
    fail "the error log is not in the module folder named in four scripts"
cp "$bin/murl.dll" "$folder/murl.dll"
printf 'type /murl help\n' >"$folder/help.scenario"
sim run --json --plugin com --dll "$(windows_path "$folder/murl.dll")" \
    "$(windows_path "$folder/help.scenario")"
expect "murl.dll from a folder named in four scripts" 0 \
    '{"line":1,"event":"type","text":"/murl help","bEat":0,"printed":[]}'

# ---- Mistakes on the command line name what is wrong and what would be right ---------------
while IFS='|' read -r arguments said; do
    # shellcheck disable=SC2086
    sim $arguments
    expect "murl-sim $arguments" 2 "" \
        "$(printf 'murl-sim: %s\nRun with --help or --help-all for more information.' "$said")"
done <<'EOF'
runn x|unknown subcommand "runn"; the subcommands are: run, settings and panel
run --svg x.svg a.scenario|--svg is an option of panel, not of run
settings lst|unknown subcommand "lst"; the subcommands of settings are: list, get and set
EOF

# ---- Failures of the machine say what happened ----------------------------------------------
echo "not a DLL" >"$work/text.dll"
head -c 4096 "$bin/murl.dll" >"$work/cut.dll"
for dll in text.dll cut.dll; do
    sim run --plugin com --dll "$(windows_path "$work/$dll")" "$(windows_path "$folder/help.scenario")"
    [ "$code" = 3 ] || fail "--dll $dll: exit status $code, expected 3"
    grep -qF "$(windows_path "$work/$dll")" "$work/err" || fail "--dll $dll: the file is not named: $(cat "$work/err")"
    grep -qF "%1" "$work/err" && fail "--dll $dll: a placeholder is left: $(cat "$work/err")"
done
cp "$bin/platform_tests.exe" "$work/other.dll"
sim run --plugin com --dll "$(windows_path "$work/other.dll")" "$(windows_path "$folder/help.scenario")"
expect "--dll of another kind" 3 "" \
    "murl-sim: cannot use \"$(windows_path "$work/other.dll")\": it has no DllGetClassObject: it is not a component server"

# Through the registration a class that cannot be created is named as --dll names it: the
# registered file and the system's reason (COM by itself says only "Access denied"). A copy of
# murl.dll is registered for this, damaged in place, and unregistered again.
registered="$work/registered/murl.dll"
unregister_copy() {
    cp "$bin/murl.dll" "$registered" && wine regsvr32 /s /u "$(windows_path "$registered")"
}
trap 'unregister_copy >/dev/null 2>&1; rm -rf "$work"; wine reg delete "$app_key" /f >/dev/null 2>&1 || true' EXIT
mkdir "$work/registered"
cp "$bin/murl.dll" "$registered"
wine regsvr32 /s "$(windows_path "$registered")" || fail "regsvr32 of a copy of murl.dll"
sim run --json --plugin com "$(windows_path "$folder/help.scenario")"
expect "murl.dll through its registration" 0 \
    '{"line":1,"event":"type","text":"/murl help","bEat":0,"printed":[]}'
while IFS='|' read -r damage command; do
    eval "$command"
    sim run --plugin com --dll "$(windows_path "$registered")" "$(windows_path "$folder/help.scenario")"
    cp "$work/err" "$work/dll-err"
    sim run --plugin com "$(windows_path "$folder/help.scenario")"
    expect "registered murl.dll $damage" 3 "" "$(cat "$work/dll-err")"
    grep -qF "$(windows_path "$registered")" "$work/err" ||
        fail "registered murl.dll $damage: the file is not named: $(cat "$work/err")"
done <<'EOF'
cut to 150,000 bytes|head -c 150000 "$bin/murl.dll" >"$registered"
that is no DLL|echo "not a DLL" >"$registered"
that is gone|rm "$registered"
EOF
unregister_copy || fail "regsvr32 /u of the copy of murl.dll"
sim run --plugin com "$(windows_path "$folder/help.scenario")"
expect "murl.clsMurl not registered" 3 "" \
    "murl-sim: murl.clsMurl is not registered: register murl.dll (regsvr32 murl.dll), or give its path with --dll"

mkdir -p "$work/folder-log/murl_err.log"
sim run --json --module-dir "$(windows_path "$work/folder-log")" "$(windows_path "$folder/report.scenario")"
expect "murl_err.log is a folder" 0 \
    "$(printf '%s\n%s' '{"line":1,"event":"fault","operation":"GetHooks","printed":[]}' \
        "{\"line\":2,\"event\":\"init\",\"printed\":[],\"failed\":\"Path/File access error: \\\"$(windows_path "$work/folder-log/murl_err.log" | sed 's/\\/\\\\/g')\\\" is a folder\"}")"
sim run --json --module-dir '\\.\NUL' "$(windows_path "$folder/report.scenario")"
# A device is no module folder: refused before anything runs, naming the option and the value.
{ [ "$code" = 2 ] && [ ! -s "$work/out" ] && grep -qF -- '--module-dir' "$work/err" &&
    grep -qF '\\.\NUL' "$work/err"; } ||
    fail "the module folder is a device: exit status $code ($(head -c 300 "$work/err"))"

# A character key longer than a registry key's name: the report keeps its form and says why.
{
    echo "init"
    echo "identity1 $(printf 'k%.0s' $(seq 300))"
    echo "login"
    echo "hit cmdOut"
} >"$work/long-key.scenario"
mkdir "$work/long-key"
sim run --module-dir "$(windows_path "$work/long-key")" --clock "2024-05-17 21:30:00" \
    "$(windows_path "$work/long-key.scenario")"
[ "$code" = 0 ] || fail "long character key: exit status $code"
grep -qF "$(printf '2024-05-17 21:30:00\tError in SaveVariables: Invalid procedure call or argument: the settings store refused the section name as too long. At line 20\r')" \
    "$work/long-key/murl_err.log" || fail "long character key: $(cat "$work/long-key/murl_err.log")"

# A chat line too long for the 32-bit address space is named.
{
    echo "init"
    printf 'chat 5 '
    head -c $((300 * 1048576)) /dev/zero | tr '\0' 'x'
    echo
} >"$work/huge.scenario"
sim run --module-dir "$(windows_path "$work/long-key")" "$(windows_path "$work/huge.scenario")"
rm -f "$work/huge.scenario"
expect "a 300 MiB line" 3 "" \
    "murl-sim: $(windows_path "$work/huge.scenario"):2: line 2 (300 MiB) is too long for the 32-bit simulator"

[ $status = 0 ] && echo "murl-sim on Windows: arguments, listing and messages as expected"
exit $status
