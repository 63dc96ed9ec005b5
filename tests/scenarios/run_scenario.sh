#!/usr/bin/env bash
# Plays one scenario of the corpus through the real murl-sim, with a fresh settings store and
# module folder and a fixed clock, and compares what the host saw with the files beside it:
#
#   NAME.expected.jsonl   the JSON transcript
#   NAME.stderr.expected  for a scenario that must not parse: its messages; the run must exit
#                         with status 2 and write nothing to the store or the log.
#                         @CHECK_BOXES@ stands for the panel's check boxes, as a message
#                         lists them, so that a new switch changes no expectation, and
#                         @VERBS@ for the scenario verbs, as `murl-sim run --help` lists them
#   In every expectation file @VERSION@ stands for the release version (MURL_RELEASE_VERSION in
#   the environment, which CMake sets from the one place the version is declared).
#   NAME.then.scenario    played next against the same store and folder (the game client run
#                         again); its transcript is NAME.then.expected.jsonl
#   NAME.store.setup      entries written with `murl-sim settings set` before the first run,
#                         one per line: SECTION, TAB, KEY, TAB, VALUE, and optionally TAB and
#                         `number` for a value in the store's own number type (--number)
#   NAME.store.expected   `murl-sim settings list --json` after the runs
#   NAME.log.expected     the error log's lines, each without its date-time and TAB; without
#                         this file the log must stay empty
#   NAME.options          words: stdin (the scenario comes on standard input),
#                         log-unreachable (the error log's name in the module folder leads
#                         into a folder that does not exist)
#
# usage: run_scenario.sh MURL_SIM NAME.scenario "YYYY-MM-DD HH:MM:SS" HOME_PAGE [EXPECTED]
# EXPECTED, where given, is the path of the expectation files without their endings (for
# scenarios that keep them elsewhere, as the examples do); by default NAME beside the scenario.
set -euo pipefail

sim=$1
scenario=$2
clock=$3
home_page=$4
base=${5:-${scenario%.scenario}}
default_home_page="https://murl.example.org/"
release_version=${MURL_RELEASE_VERSION:?MURL_RELEASE_VERSION must name the release version}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
store="$work/settings.sqlite"
module="$work/module"
options=""
[ -f "$base.options" ] && options=$(cat "$base.options")
mkdir "$module"
if [[ " $options " == *" log-unreachable "* ]]; then
    ln -s "$work/absent/murl_err.log" "$module/murl_err.log"
fi

status=0
fail() {
    echo "FAIL: $*" >&2
    status=1
}

# The panel's check boxes in its order, comma-separated, as `murl-sim panel` lists them.
check_boxes() {
    "$sim" panel | tr -d '\r' | awk '$2 == "check" && $3 == "box" { printf "%s%s", sep, $1; sep = ", " }'
}

# The scenario verbs, comma-separated, as `murl-sim run --help` lists them.
verbs() {
    "$sim" run --help | tr -d '\r' | sed -n 's/^Verbs: //p'
}

# Compares file $2 (what happened) with expectation file $1, the home page adjusted to this
# build's.
compare() {
    local expected=$1 actual=$2 what=$3
    local wanted="$work/wanted"
    if [ -f "$expected" ]; then
        local text
        text=$(cat "$expected"; echo x)
        text=${text%x}
        text=${text//"$default_home_page"/"$home_page"}
        text=${text//@VERSION@/$release_version}
        [[ $text == *@CHECK_BOXES@* ]] && text=${text//@CHECK_BOXES@/$(check_boxes)}
        [[ $text == *@VERBS@* ]] && text=${text//@VERBS@/$(verbs)}
        printf '%s' "$text" >"$wanted"
    else
        : >"$wanted"
    fi
    if ! cmp -s "$wanted" "$actual"; then
        fail "$what differs from $(basename "$expected")"
        diff -u "$wanted" "$actual" | head -60 >&2 || true
    fi
}

if [ -f "$base.store.setup" ]; then
    while IFS=$'\t' read -r section key value kind; do
        "$sim" settings set "$section" "$key" "$value" ${kind:+"--$kind"} --store "$store"
    done <"$base.store.setup"
fi

play() {
    local file=$1 out=$2 err=$3
    local rc=0
    if [[ " $options " == *" stdin "* ]]; then
        "$sim" run --json --store "$store" --module-dir "$module" --clock "$clock" - \
            <"$file" >"$out" 2>"$err" || rc=$?
    else
        "$sim" run --json --store "$store" --module-dir "$module" --clock "$clock" "$file" \
            >"$out" 2>"$err" || rc=$?
    fi
    return $rc
}

if [ -f "$base.stderr.expected" ]; then
    rc=0
    (cd "$(dirname "$scenario")" && play "$(basename "$scenario")" "$work/out" "$work/err") || rc=$?
    [ "$rc" = 2 ] || fail "exit status $rc, expected 2"
    [ -s "$work/out" ] && fail "a scenario that does not parse wrote a transcript"
    compare "$base.stderr.expected" "$work/err" "standard error"
    [ -e "$store" ] && [ ! -f "$base.store.setup" ] && fail "the store was created"
    [ -n "$(ls -A "$module" 2>/dev/null)" ] && fail "something was written to the module folder"
    exit $status
fi

run_one() {
    local file=$1 expected=$2 label=$3
    local rc=0
    play "$file" "$work/$label.out" "$work/$label.err" || rc=$?
    [ "$rc" = 0 ] || fail "$label: exit status $rc"
    [ -s "$work/$label.err" ] && { fail "$label: wrote to standard error"; cat "$work/$label.err" >&2; }
    compare "$expected" "$work/$label.out" "$label: transcript"
}

run_one "$scenario" "$base.expected.jsonl" "run"
if [ -f "$base.then.scenario" ]; then
    run_one "$base.then.scenario" "$base.then.expected.jsonl" "second run"
fi

if [ -f "$base.store.expected" ]; then
    "$sim" settings list --json --store "$store" >"$work/store"
    compare "$base.store.expected" "$work/store" "store"
fi

log="$module/murl_err.log"
: >"$work/log"
if [ -f "$log" ]; then
    while IFS= read -r entry || [ -n "$entry" ]; do
        entry=${entry%$'\r'}
        if [[ "$entry" != "$clock"$'\t'* ]]; then
            fail "log line without the fixed date-time and a TAB: $entry"
        fi
        printf '%s\n' "${entry#*$'\t'}" >>"$work/log"
    done <"$log"
fi
compare "$base.log.expected" "$work/log" "error log"

exit $status
