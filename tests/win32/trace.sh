#!/usr/bin/env bash
# murl.dll's trace under Wine, with a scenario played through COM as a game client would: off,
# no trace file appears; on, every entry at the COM boundary leaves exactly one line, each
# matching its row in the table below, in the account's local application data and in the
# debugger's output; a full file becomes the older file; a trace that cannot be written changes
# nothing the host sees.
#
# usage: trace.sh PREFIX BIN MURL_SIM_EXE
set -euo pipefail

export WINEPREFIX=$1 LC_ALL=C.UTF-8
. "$(dirname "$0")/../../cmake/wine-env.sh"
bin=$2
sim=$3
switch='HKCU\Software\Murl'
app_key='HKCU\Software\VB and VBA Program Settings\Murl'
work=$(mktemp -d)
local_data=$(winepath -u "$(wine cmd /c 'echo %LOCALAPPDATA%' | tr -d '\r')")
[ -d "$local_data" ] || { echo "FAIL: no local application data folder ($local_data)" >&2; exit 1; }
trace_dir=$local_data/Murl
trace=$trace_dir/murl_trace.log
older=$trace_dir/murl_trace.old.log
cap=1048576
reset() {
    wine reg delete "$switch" /v Trace /f >/dev/null 2>&1 || true
    wine reg delete "$app_key" /f >/dev/null 2>&1 || true
    rm -rf "$trace_dir"
}
trap 'reset; rm -rf "$work"' EXIT
reset

status=0
fail() {
    echo "FAIL: $*" >&2
    status=1
}

cp "$bin/murl.dll" "$work/murl.dll"
cat >"$work/session.scenario" <<'EOF'
init
identity1 Emberfall
identity2 Kaelen
login
chat 21 You evaded the Bog Gnawer.
chat@eat 5 "a tab\ta quote \" a backslash \\ and digits 0123456789012345678901234567890123456789012345678901234567890123456789"
chat 5 "Жук 😀 half a pair \uD800 end"
chat 5 "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa😀 cut inside the pair"
chat 5 "nul \u0000 bell \u0007 cr \r esc \u001B del \u007F low \uDC00 reversed \uDC00\uD800 end"
status You are too far away.
type /murl help
check chkBots on
hit cmdOut
accept cmdReset
fault WriteChatText
login
heal
terminate
EOF

# Plays the session through murl.dll; the transcript goes to $work/out, the debugger's output
# (Wine's debug channel) to $work/err.
play() {
    WINEDEBUG=-all,+debugstr wine "$sim" run --plugin com --dll "Z:${work//\//\\}\\murl.dll" \
        "Z:${work//\//\\}\\session.scenario" >"$work/out" 2>"$work/err" </dev/null ||
        fail "$1: murl-sim exited with $?: $(head -c 300 "$work/err")"
}

# ---- Off: no trace file, and the transcript is the one every later run must give ----------
#   how the switch is set          | wine reg add arguments, or nothing for no value
# Only the number "murl-doctor trace on" stores switches it on; the doctor reads each alike.
off_rows=(
    "no switch value|"
    "switched off|/t REG_DWORD /d 0"
    "a text, not a number|/t REG_SZ /d 1"
    "a text yes|/t REG_SZ /d yes"
    "another number|/t REG_DWORD /d 2"
    "a 64-bit one|/t REG_QWORD /d 1"
    "the bytes of a one|/t REG_BINARY /d 01000000"
)
# The doctor's word on the trace switch: its report row's finding.
doctor_says() {
    wine "$bin/murl-doctor.exe" --json 2>/dev/null </dev/null |
        jq -r '.checks[] | select(.id == "trace.switch") | .found'
}
for row in "${off_rows[@]}"; do
    name=${row%%|*}
    value=${row#*|}
    reset
    # shellcheck disable=SC2086
    [ -z "$value" ] || wine reg add "$switch" /v Trace $value /f >/dev/null
    play "$name"
    [ ! -e "$trace" ] || fail "$name: a trace file appeared: $(head -c 300 "$trace")"
    [[ $(doctor_says) == off* ]] || fail "$name: the doctor says the trace is \"$(doctor_says)\""
    grep -q 'OutputDebugString' "$work/err" && fail "$name: the debugger's output got lines"
    cp "$work/out" "$work/transcript"
done
grep -qF '! failed: WriteChatText failed (simulated fault)' "$work/transcript" ||
    fail "the session's failing login did not fail: $(cat "$work/transcript")"

# ---- On: one line per entry, each matching its row --------------------------------------------
time='^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} \[[0-9]+\] '
took=', [0-9]+\.[0-9] us$'
long_shown='"a tab\\u0009a quote \\" a backslash \\\\ and digits 012345678901234567890123456789012345678"\.\.\. \(111 units\)'
entries=(
    "Initialize -> S_OK$took"
    "event LoginComplete \[DISPID 4\] \(\) -> S_OK$took"
    "event ChatTextIntercept \[DISPID 2\] \(\"You evaded the Bog Gnawer\.\", 21, 0, &false\) -> S_OK, after: &true$took"
    "event ChatTextIntercept \[DISPID 2\] \($long_shown, 5, 0, &true\) -> S_OK, after: &false$took"
    "event ChatTextIntercept \[DISPID 2\] \(\"Жук 😀 half a pair \\\\uD800 end\", 5, 0, &false\) -> S_OK, after: &false$took"
    "event ChatTextIntercept \[DISPID 2\] \(\"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\"\.\.\. \(101 units\), 5, 0, &false\) -> S_OK, after: &false$took"
    "event ChatTextIntercept \[DISPID 2\] \(\"nul \\\\u0000 bell \\\\u0007 cr \\\\u000D esc \\\\u001B del \\\\u007F low \\\\uDC00 reversed \\\\uDC00\\\\uD800 end\", 5, 0, &false\) -> S_OK, after: &false$took"
    "event StatusTextIntercept \[DISPID 4\] \(\"You are too far away\.\", &false\) -> S_OK, after: &false$took"
    "event ChatParserIntercept \[DISPID 3\] \(\"/murl help\", &false\) -> S_OK, after: &true$took"
    "event Change \[DISPID 6\] \([0-9]+, true\) -> S_OK$took"
    "event Hit \[DISPID 2\] \([0-9]+\) -> S_OK$took"
    "event Accepted \[DISPID 4\] \([0-9]+\) -> S_OK$took"
    "host call WriteChatText failed: E_FAIL 0x80004005 \"WriteChatText failed \(simulated fault\)\"$"
    "failure handed to the host: E_FAIL 0x80004005 \"WriteChatText failed \(simulated fault\)\"$"
    "event LoginComplete \[DISPID 4\] \(\) -> DISP_E_EXCEPTION 0x80020009$took"
    "Terminate -> S_OK$took"
)
# Each kind of line, by its first word, is in the list of the trace's lines for helpers.
docs=$(dirname "$0")/../../docs/windows.md
listed=$(sed -n '/^### The trace$/,/^## /p' "$docs" | grep -E '^- ' || true)
for entry in "${entries[@]}"; do
    kind=${entry%% *}
    grep -qF -- "\`$kind" <<<"$listed" || fail "the list of the trace's lines in $docs lacks \`$kind"
done
# Every line of `file` matches exactly one row, and every row exactly one line.
check_lines() {
    local what=$1 file=$2 entry count
    tr -d '\r' <"$file" >"$work/lines"
    for entry in "${entries[@]}"; do
        count=$(grep -cE "$time$entry" "$work/lines" || true)
        [ "$count" = 1 ] || fail "$what: $count lines match \"$entry\""
    done
    count=$(wc -l <"$work/lines")
    [ "$count" = "${#entries[@]}" ] || fail "$what: $count lines, expected ${#entries[@]}: $(cat "$work/lines")"
}

reset
wine reg add "$switch" /v Trace /t REG_DWORD /d 1 /f >/dev/null
play "on"
cmp -s "$work/out" "$work/transcript" || fail "on: the transcript differs from the one without trace"
[[ $(doctor_says) == on* ]] || fail "on: the doctor says the trace is \"$(doctor_says)\""
if [ -f "$trace" ]; then
    check_lines "the trace file" "$trace"
    iconv -f UTF-8 -t UTF-8 "$trace" >/dev/null || fail "the trace file is not UTF-8"
else
    fail "on: no trace file at $trace"
fi
grep -o 'OutputDebugStringA "[^"]*' "$work/err" | sed 's/^OutputDebugStringA "//; s/\\r\\n$//' \
    >"$work/debugger" || true
# Wine shows each line with its own escapes; the rows that hold none must all be there.
for entry in "Initialize -> S_OK$took" "Terminate -> S_OK$took" \
             "event Hit \[DISPID 2\] \([0-9]+\) -> S_OK$took"; do
    grep -qE "$time$entry" "$work/debugger" || fail "the debugger's output lacks \"$entry\""
done

# ---- A full file replaces the older file; the new one takes the lines that did not fit -------
mkdir -p "$trace_dir"
head -c $((cap - 200)) /dev/zero | tr '\0' 'x' >"$trace"
echo "an older session" >"$older"
cp "$trace" "$work/full"
play "full file"
[ "$(stat -c %s "$trace")" -le $cap ] || fail "the trace file has $(stat -c %s "$trace") bytes"
if [ -f "$older" ]; then
    cmp -s <(head -c $((cap - 200)) "$older") "$work/full" || fail "the older file does not begin with the full one"
    [ "$(stat -c %s "$older")" -le $cap ] || fail "the older file has $(stat -c %s "$older") bytes"
    tail -c +$((cap - 199)) "$older" >"$work/moved"
    cat "$work/moved" "$trace" >"$work/both"
    check_lines "the lines split between the older and the new file" "$work/both"
else
    fail "full file: no older file"
fi

# ---- A trace that cannot be written stops; the host sees nothing of it ---------------------
reset
wine reg add "$switch" /v Trace /t REG_DWORD /d 1 /f >/dev/null
echo "a file where the folder should be" >"$trace_dir"
play "unwritable"
cmp -s "$work/out" "$work/transcript" || fail "unwritable: the transcript differs: $(cat "$work/out")"
[ "$(cat "$trace_dir")" = "a file where the folder should be" ] || fail "unwritable: the file was changed"
grep -qF 'murl trace: the trace file cannot be written' "$work/err" ||
    fail "unwritable: the debugger's output does not say the file stopped"
grep -qE 'Terminate -> S_OK' "$work/err" || fail "unwritable: the debugger's output stopped too"
wine "$bin/murl-doctor.exe" --json 2>/dev/null </dev/null >"$work/report.json" || true
jq -e '.checks[] | select(.id == "trace.file" and .status == "problem")' "$work/report.json" \
    >/dev/null || fail "unwritable: the doctor finds no problem with the trace file: $(cat "$work/report.json")"

[ $status = 0 ] && echo "murl.dll's trace: off leaves nothing, on leaves one line per entry"
exit $status
