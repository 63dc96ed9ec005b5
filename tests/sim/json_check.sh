#!/usr/bin/env bash
# Every JSON line murl-sim writes is accepted by strict parsers (jq, and Python's json module
# with strings that must be Unicode): the transcript of each scenario of the corpus that
# parses, the settings it leaves, and texts with lone surrogates, whose exact code units stand
# in a "KEYUnits" member beside the string that shows each as U+FFFD.
#
# usage: json_check.sh MURL_SIM SCENARIO_DIR
set -uo pipefail

sim=$1
corpus=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
checked=0

# Checks every line of file $1 with jq and Python; $2 names it in a failure.
check_json() {
    local file=$1 what=$2
    checked=$((checked + 1))
    if ! jq -e . "$file" >/dev/null 2>"$work/jq.err"; then
        echo "FAIL: $what: jq refuses it: $(cat "$work/jq.err")" >&2
        failures=$((failures + 1))
    fi
    if ! python3 - "$file" <<'PY'; then
import json
import sys

def shown(units):
    """The text of `units` with each lone surrogate as U+FFFD, and whether it has one."""
    out, i, lone = [], 0, False
    while i < len(units):
        u = units[i]
        if 0xD800 <= u <= 0xDBFF and i + 1 < len(units) and 0xDC00 <= units[i + 1] <= 0xDFFF:
            out.append(chr(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00)))
            i += 2
            continue
        lone = lone or 0xD800 <= u <= 0xDFFF
        out.append("\uFFFD" if 0xD800 <= u <= 0xDFFF else chr(u))
        i += 1
    return "".join(out), lone

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
        echo "FAIL: $what: Python's json module refuses it" >&2
        failures=$((failures + 1))
    fi
}

# play NAME SCENARIO: its transcript and the store it leaves, checked.
play() {
    local name=$1 scenario=$2
    local dir="$work/$name"
    mkdir -p "$dir/module"
    if ! "$sim" run --json --store "$dir/s.sqlite" --module-dir "$dir/module" \
        --clock "2024-05-17 21:30:00" "$scenario" >"$dir/out" 2>"$dir/err"; then
        echo "FAIL: $name: the run failed" >&2
        sed 's/^/  | /' "$dir/err" >&2
        failures=$((failures + 1))
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
        echo "FAIL: no $member for its lone surrogates" >&2
        failures=$((failures + 1))
    fi
done

echo "$checked files checked"
if [ "$failures" != 0 ]; then
    echo "$failures failure(s)" >&2
    exit 1
fi
