#!/usr/bin/env bash
# Every JSON line murl-sim writes is accepted by strict parsers (jq, and Python's json module
# with strings that must be Unicode): the transcript of each scenario of the corpus that
# parses, the settings it leaves, and texts with lone surrogates, whose exact code units stand
# in a "KEYUnits" member beside the string that shows each as U+FFFD.
#
# usage: json_check.sh MURL_SIM SCENARIO_DIR
# shellcheck source=tests/sim/shell_check.sh
source "$(dirname "$0")/shell_check.sh"

sim=$1
corpus=$2
scenarios=$(dirname "$0")/../scenarios  # expect.py, which shows texts as murl-sim does
checked=0

# Checks every line of file $1 with jq and Python; $2 names it in a failure.
check_json() {
    local file=$1 what=$2
    checked=$((checked + 1))
    if ! jq -e . "$file" >/dev/null 2>"$work/jq.err"; then
        fail "$what: jq refuses it: $(cat "$work/jq.err")"
    fi
    if ! python3 - "$file" "$scenarios" <<'PY'; then
import json
import sys

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, sys.argv[2])
from expect import code_points, has_lone_surrogate, is_surrogate

def shown(units):
    """The text of `units` with each lone surrogate as U+FFFD, and whether it has one."""
    text = "".join("\uFFFD" if is_surrogate(cp) else chr(cp) for cp in code_points(units))
    return text, has_lone_surrogate(units)

def visit(value, where):
    if isinstance(value, str):
        value.encode("utf-8")  # a lone surrogate escape would fail here
    elif isinstance(value, list):
        for item in value:
            visit(item, where)
    elif isinstance(value, dict):
        for key, member in value.items():
            visit(member, where)
            if key.endswith("Units"):
                text, lone = shown(member)
                if value.get(key[:-len("Units")]) != text:
                    raise ValueError(f"{where}: {key} does not match its string")
                if not lone:
                    raise ValueError(f"{where}: {key} given for a text without lone surrogates")

path = sys.argv[1]
with open(path, "rb") as f:
    for number, line in enumerate(f, 1):
        visit(json.loads(line.decode("utf-8")), f"{path}:{number}")
PY
        fail "$what: Python's json module refuses it"
    fi
}

# play NAME SCENARIO: its transcript and the store it leaves, checked.
play() {
    local name=$1 scenario=$2
    local dir="$work/$name"
    mkdir -p "$dir/module"
    if ! "$sim" run --json --store "$dir/s.sqlite" --module-dir "$dir/module" \
        --clock "2024-05-17 21:30:00" "$scenario" >"$dir/out" 2>"$dir/err"; then
        fail "$name: the run failed"
        sed 's/^/  | /' "$dir/err" >&2
        return
    fi
    check_json "$dir/out" "$name: transcript"
    "$sim" settings list --json --store "$dir/s.sqlite" >"$dir/store"
    check_json "$dir/store" "$name: settings list"
}

for scenario in "$corpus"/*.scenario; do
    base=${scenario%.scenario}
    [ -f "$base.stderr.expected" ] && continue  # does not parse
    play "$(basename "$base")" "$scenario"
done

# Lone surrogates wherever a text goes: the events' texts, and the character's names, which
# becomes a store section.
cat >"$work/lone.scenario" <<'SCENARIO'
init
identity1 "\uD800"
identity2 "x\uDFFFy"
login
chat 5 "\uDBFF\uD800 \uD83D\uDE00 \uDC00"
status "\uDFFF"
type "\uDC00\uD800"
hit cmdOut
destroy
SCENARIO
play lone "$work/lone.scenario"
for member in '"textUnits":[55296]' '"textUnits":[120,57343,121]' '"textUnits":[56320,55296]' \
              '"sectionUnits":[120,57343,121,55296]'; do
    if ! grep -qF "$member" "$work/lone/out" "$work/lone/store"; then
        fail "no $member for its lone surrogates"
    fi
done

echo "$checked files checked"
finish
