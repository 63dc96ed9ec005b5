#!/usr/bin/env bash
# Long input through the real murl-sim: single chat lines of 1 MiB, and a generated scenario of
# 1,000,000 chat lines whose transcript is checked line by line in total (count, verdicts,
# final counters).
#
# usage: long_input.sh MURL_SIM
set -euo pipefail

sim=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/module"
status=0
fail() {
    echo "FAIL: $*" >&2
    status=1
}
run() {
    "$sim" run --json --store "$work/settings.sqlite" --module-dir "$work/module" \
        --clock "2024-05-17 21:30:00" "$1" >"$2"
}

# ---- 1 MiB lines: the bot mark at the very end, an evade, a typed command -----------------
mib=1048576
filler=$(head -c $((mib - 14)) /dev/zero | tr '\0' 'x')
bot_line="Vendorbot ${filler}.-b-"                 # 10 + (mib - 14) + 4 = 1 MiB
evade_line="You evaded ${filler}..."               # 11 + (mib - 14) + 3 = 1 MiB
help_line="/MURL HELP${filler}...."                # 10 + (mib - 14) + 4 = 1 MiB
[ ${#bot_line} = $mib ] && [ ${#evade_line} = $mib ] && [ ${#help_line} = $mib ] ||
    fail "generated lines are not 1 MiB"
{
    echo "init"
    echo "check chkBots on"
    echo "chat 5 $bot_line"
    echo "chat 21 $evade_line"
    echo "chat 5 ${filler}"
    echo "type $help_line"
    echo "hit cmdOut"
} >"$work/mib.scenario"
banner="{\"text\":\"Murl! version: ${MURL_RELEASE_VERSION:?the release version}\",\"colour\":5,\"target\":1}"
{
    echo '{"line":1,"event":"init","printed":[]}'
    echo '{"line":2,"event":"check","name":"chkBots","state":"on","printed":[]}'
    echo "{\"line\":3,\"event\":\"chat\",\"colour\":5,\"text\":\"$bot_line\",\"bEat\":-1,\"printed\":[]}"
    echo "{\"line\":4,\"event\":\"chat\",\"colour\":21,\"text\":\"$evade_line\",\"bEat\":-1,\"printed\":[]}"
    echo "{\"line\":5,\"event\":\"chat\",\"colour\":5,\"text\":\"$filler\",\"bEat\":0,\"printed\":[]}"
    printf '%s' "{\"line\":6,\"event\":\"type\",\"text\":\"$help_line\",\"bEat\":-1,\"printed\":[$banner,"
} >"$work/mib.expected.head"
run "$work/mib.scenario" "$work/mib.out"
head -c "$(stat -c %s "$work/mib.expected.head")" "$work/mib.out" | cmp -s - "$work/mib.expected.head" ||
    fail "1 MiB lines: transcript differs"
tail -n 1 "$work/mib.out" | grep -qF '"Melee evades = 1"' || fail "1 MiB lines: evade not counted"
[ "$(wc -l <"$work/mib.out")" = 7 ] || fail "1 MiB lines: not 7 transcript lines"

# ---- 1,000,000 chat lines -------------------------------------------------------------------
# Ten kinds of line in turn: an evade, a zero-damage hit, a resist, an expiration, a bot line
# and five ordinary ones; with bots on, five of every ten are eaten.
n=1000000
awk -v n=$n 'BEGIN {
    print "init"
    print "check chkBots on"
    split("21|You evaded the Bog Gnawer!;21|The Bog Gnawer hits you for 0 points of damage.;" \
          "7|You resist the spell cast by Mireling Witch.;7|Your Stoneskin spell has expired.;" \
          "5|Vendorbot -t- selling scrolls;5|Hello there.;21|You evaded;7|You resis;" \
          "0|Nothing to see here.;22|You evaded the Bog Gnawer!", kinds, ";")
    for (i = 0; i < n; ++i) {
        split(kinds[i % 10 + 1], k, "|")
        print "chat " k[1] " " k[2]
    }
    print "hit cmdOut"
}' >"$work/million.scenario"
run "$work/million.scenario" "$work/million.out"
lines=$(wc -l <"$work/million.out")
eaten=$(grep -c '"bEat":-1,' "$work/million.out" || true)
shown=$(grep -c '"bEat":0,' "$work/million.out" || true)
[ "$lines" = $((n + 3)) ] || fail "1,000,000 lines: $lines transcript lines"
[ "$eaten" = $((n / 2)) ] || fail "1,000,000 lines: $eaten eaten"
[ "$shown" = $((n / 2)) ] || fail "1,000,000 lines: $shown shown"
tail -n 1 "$work/million.out" | grep -qF \
    '"printed":[{"text":"Melee evades = 100000","colour":5,"target":1},{"text":"Resists = 100000","colour":5,"target":1},{"text":"Zero damage hits = 100000","colour":5,"target":1}]' ||
    fail "1,000,000 lines: wrong counters: $(tail -n 1 "$work/million.out")"
last_chat=$(sed -n "$((n + 2))p" "$work/million.out")
[ "$last_chat" = "{\"line\":$((n + 2)),\"event\":\"chat\",\"colour\":22,\"text\":\"You evaded the Bog Gnawer!\",\"bEat\":0,\"printed\":[]}" ] ||
    fail "1,000,000 lines: last chat line is $last_chat"
[ -e "$work/module/murl_err.log" ] && fail "the error log was written"

exit $status
