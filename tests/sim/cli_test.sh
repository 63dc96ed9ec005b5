#!/usr/bin/env bash
# The murl-sim command line: help and usage errors, the default store and module folder, the
# settings subcommands, the panel and the example session.
#
# usage: cli_test.sh MURL_SIM EXAMPLE_SCENARIO
# shellcheck source=tests/sim/shell_check.sh
source "$(dirname "$0")/shell_check.sh"

sim=$1
example=$2

# expect STATUS DESCRIPTION -- COMMAND...: runs COMMAND, output in $work/out and $work/err.
expect() {
    local want=$1 what=$2
    shift 3
    "$@" >"$work/out" 2>"$work/err"
    local got=$?
    if [ "$got" != "$want" ]; then
        fail "$what: exit status $got, expected $want"
        sed 's/^/  | /' "$work/err" >&2
    fi
}
check() {
    if ! eval "$2"; then
        fail "$1"
    fi
}

# ---- help and usage errors ---------------------------------------------------------------
for sub in "" "run" "settings" "settings list" "settings get" "settings set" "panel"; do
    # shellcheck disable=SC2086
    expect 0 "murl-sim $sub --help" -- "$sim" $sub --help
    check "murl-sim $sub --help prints a usage line" 'grep -q "^Usage: " "$work/out"'
done
expect 2 "no subcommand" -- "$sim"
# Mistakes that CLI11 words misleadingly: each names what is wrong and what would be right.
while IFS='|' read -r arguments said; do
    # shellcheck disable=SC2086
    expect 2 "murl-sim $arguments" -- "$sim" $arguments
    check "murl-sim $arguments says: $said" '[ "$(head -n 1 "$work/err")" = "murl-sim: $said" ]'
done <<'EOF'
|a subcommand is missing; the subcommands are: run, settings and panel
runn x|unknown subcommand "runn"; the subcommands are: run, settings and panel
settings lst|unknown subcommand "lst"; the subcommands of settings are: list, get and set
settings|a subcommand is missing; the subcommands of settings are: list, get and set
run --svg x.svg a.scenario|--svg is an option of panel, not of run
run --store=s.sqlite --svg=x.svg a.scenario|--svg is an option of panel, not of run
panel --json|--json is an option of run and settings list, not of panel
settings list --dll murl.dll|--dll is an option of run, not of settings list
EOF
expect 2 "unknown option" -- "$sim" run --bogus x.scenario
expect 2 "run without a scenario" -- "$sim" run
expect 2 "unknown plug-in binding" -- "$sim" run --plugin dll x.scenario
printf 'init\n' >"$work/ok.scenario"
expect 2 "--plugin com on this build" -- "$sim" run --plugin com "$work/ok.scenario"
check "--plugin com says why" 'grep -q "Windows build" "$work/err"'
expect 2 "a clock that is no date" -- "$sim" run --clock "2024-02-30 10:00:00" "$work/ok.scenario"
expect 2 "a clock in another form" -- "$sim" run --clock "2024-02-03T10:00:00" "$work/ok.scenario"
expect 2 "a scenario that cannot be read" -- "$sim" run "$work/absent.scenario"
expect 2 "settings get without a key" -- "$sim" settings get Settings
expect 2 "--dll without --plugin com" -- "$sim" run --dll murl.dll "$work/ok.scenario"
check "--dll without --plugin com names both" 'grep -q -- "--dll.*--plugin com" "$work/err"'
expect 0 "run --help" -- "$sim" run --help
check "run --help names the scenario reference" 'grep -q "docs/scenarios.md" "$work/out"'

# --help-all shows every option and argument that each subcommand's own help shows.
"$sim" --help-all >"$work/help-all"
for sub in "run" "settings list" "settings get" "settings set" "panel"; do
    # shellcheck disable=SC2086
    "$sim" $sub --help | grep -E '^  +(-|[A-Z])' | sed -E 's/^ +//' >"$work/help-lines"
    check "murl-sim $sub --help has options" '[ -s "$work/help-lines" ]'
    while IFS= read -r line; do
        check "--help-all shows \"$line\" of $sub" 'grep -qF -- "$line" "$work/help-all"'
    done <"$work/help-lines"
done

# Paths given on the command line must lead somewhere: nothing is created for them.
expect 2 "a --module-dir that does not exist" -- "$sim" run --module-dir "$work/absent" \
    --store "$work/m.sqlite" "$work/ok.scenario"
check "a missing --module-dir is named" \
    'grep -qxF -- "--module-dir: the folder \"$work/absent\" does not exist" "$work/err"'
check "a missing --module-dir is not created" '[ ! -e "$work/absent" ] && [ ! -e "$work/m.sqlite" ]'
expect 2 "a --module-dir that is a file" -- "$sim" run --module-dir "$work/ok.scenario" \
    "$work/ok.scenario"
check "a --module-dir that is a file is named" \
    'grep -qxF -- "--module-dir: \"$work/ok.scenario\" is not a folder" "$work/err"'
for sub in "run --module-dir $work $work/ok.scenario" "settings list" \
           "settings get Settings Bots" "settings set Settings Bots True"; do
    # shellcheck disable=SC2086
    expect 2 "$sub with a --store in a missing folder" -- "$sim" $sub \
        --store "$work/absent/deeper/s.sqlite"
    check "$sub: the store's missing folder is named" \
        'grep -qxF -- "--store: the folder \"$work/absent/deeper\" does not exist" "$work/err"'
    check "$sub: the store's folder is not created" '[ ! -e "$work/absent" ]'
done
expect 2 "a --store that is a folder" -- "$sim" settings set Settings Bots True --store "$work"
check "a --store that is a folder is named" \
    'grep -qxF -- "--store: \"$work\" is a folder, not a file" "$work/err"'
expect 2 "a --store under a file" -- "$sim" settings list --store "$work/ok.scenario/s.sqlite"
check "a --store under a file is named" \
    'grep -qxF -- "--store: \"$work/ok.scenario\" is not a folder" "$work/err"'

# ---- default store and module folder -----------------------------------------------------
printf 'fault LoadViewXml\ninit\ncheck chkZero off\nbogus\n' >"$work/bad.scenario"
printf 'fault FindControl chkBots\ninit\nheal\ncheck chkZero off\n' >"$work/good.scenario"
export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
expect 2 "a scenario that does not parse" -- "$sim" run "$work/bad.scenario"
check "the first bad line is named" \
    'grep -q "^$work/bad.scenario:4: unknown verb \"bogus\"; the verbs are: init, " "$work/err"'
check "nothing created for a scenario that does not parse" \
    '[ ! -e "$work/config" ] && [ ! -e "$work/state" ]'
expect 0 "a run with the default folders" -- "$sim" run "$work/good.scenario"
check "the module folder is created under XDG_STATE_HOME" '[ -s "$work/state/murl/murl_err.log" ]'
check "log lines carry the local date and time" \
    'grep -qE "^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}"$'"'"'\t'"'"'"Error in IPlugin2_Initialize: " "$work/state/murl/murl_err.log"'
check "the store is created under XDG_CONFIG_HOME" '[ -s "$work/config/murl/settings.sqlite" ]'
expect 0 "settings get from the default store" -- "$sim" settings get Settings Zero
check "the switch written by the run is read back" '[ "$(cat "$work/out")" = False ]'
expect 0 "readable transcript" -- "$sim" run "$work/good.scenario"
check "the readable transcript names every event line" '[ "$(grep -c "" "$work/out")" = 4 ]'

unset XDG_CONFIG_HOME XDG_STATE_HOME
HOME="$work/home" expect 0 "a run with HOME only" -- "$sim" run "$work/good.scenario"
check "HOME fallbacks" \
    '[ -s "$work/home/.local/state/murl/murl_err.log" ] && [ -s "$work/home/.config/murl/settings.sqlite" ]'

# A condition of the error log ends with the run: no read-only log is left behind.
printf 'fault ErrorLog read-only\n' >"$work/read-only.scenario"
mkdir "$work/log-module"
expect 0 "a run that leaves the error log read-only" -- "$sim" run --module-dir "$work/log-module" \
    --store "$work/log.sqlite" "$work/read-only.scenario"
check "the error log is writable after the run" \
    '[ "$(stat -c %A "$work/log-module/murl_err.log" | cut -c3)" = w ]'

# ---- settings -----------------------------------------------------------------------------
store="$work/explicit.sqlite"
expect 1 "settings get of an absent entry" -- "$sim" settings get Settings Bots --store "$store"
check "an absent entry prints nothing" '[ ! -s "$work/out" ] && [ ! -s "$work/err" ]'
check "reading does not create the store" '[ ! -e "$store" ]'
expect 0 "settings list of a missing store" -- "$sim" settings list --json --store "$store"
check "a missing store lists nothing" '[ ! -s "$work/out" ]'
expect 0 "settings set" -- "$sim" settings set "Zoë Ab" Evades 12 --store "$store"
expect 0 "settings set, a negative value" -- "$sim" settings set Settings Bots -1 --store "$store"
expect 0 "settings get" -- "$sim" settings get "Zoë Ab" Evades --store "$store"
check "settings get prints the value" '[ "$(cat "$work/out")" = 12 ]'
expect 0 "settings list --json" -- "$sim" settings list --json --store "$store"
check "settings list --json, sorted by section" '[ "$(cat "$work/out")" = "$(printf "%s\n" \
    "{\"app\":\"Murl\",\"section\":\"Settings\",\"key\":\"Bots\",\"value\":\"-1\"}" \
    "{\"app\":\"Murl\",\"section\":\"Zoë Ab\",\"key\":\"Evades\",\"value\":\"12\"}")" ]'
expect 0 "settings list" -- "$sim" settings list --store "$store"
check "settings list for people" 'grep -q "Zoë Ab" "$work/out" && grep -q Bots "$work/out"'

# Values another program stored in other types are listed with their type, never left out.
typed="$work/typed.sqlite"
expect 0 "settings set --number" -- "$sim" settings set Char Evades 12 --number --store "$typed"
expect 0 "settings set --number, negative" -- "$sim" settings set Char Zero -5 --number --store "$typed"
sqlite3 "$typed" "INSERT INTO settings VALUES ('Murl', 'Settings', 'Bots', x'01')"
expect 0 "settings list of typed values" -- "$sim" settings list --store "$typed"
check "settings list names each type" '[ "$(cat "$work/out")" = "$(printf "%s\n" \
    "[Char] Evades = 12 (INTEGER)" "[Char] Zero = -5 (INTEGER)" "[Settings] Bots = an unreadable value (BLOB)")" ]'
expect 0 "settings list --json of typed values" -- "$sim" settings list --json --store "$typed"
check "settings list --json names each type" '[ "$(cat "$work/out")" = "$(printf "%s\n" \
    "{\"app\":\"Murl\",\"section\":\"Char\",\"key\":\"Evades\",\"value\":12,\"type\":\"INTEGER\"}" \
    "{\"app\":\"Murl\",\"section\":\"Char\",\"key\":\"Zero\",\"value\":-5,\"type\":\"INTEGER\"}" \
    "{\"app\":\"Murl\",\"section\":\"Settings\",\"key\":\"Bots\",\"value\":null,\"type\":\"BLOB\"}")" ]'
expect 0 "settings get of a number" -- "$sim" settings get Char Zero --store "$typed"
check "settings get prints the number" '[ "$(cat "$work/out")" = -5 ]'
expect 3 "settings get of a value Murl cannot read" -- "$sim" settings get Settings Bots --store "$typed"
check "settings get names the type" 'grep -q "of type BLOB" "$work/err"'
expect 2 "settings set --number of a text" -- "$sim" settings set Char Evades 1.5 --number --store "$typed"

# ---- panel --------------------------------------------------------------------------------
expect 0 "panel" -- "$sim" panel
for row in "chkEvades +check box +10 +8 +175 +24 +checked +Filter 'You evaded' messages" \
           "chkZero +check box +8 +32 +175 +24 +checked" \
           "chkResists +check box +8 +56 +175 +24 +checked" \
           "chkExpired +check box +8 +80 +175 +24 +checked" \
           "chkStatus +check box +8 +104 +232 +24 +clear +Filter Status Messages \(floating red text\)" \
           "chkBots +check box +8 +128 +224 +16 +clear +Filter Bots \(-b- and -t-\)" \
           "cmdReset +push button +16 +160 +88 +24 .*Reset Stats" \
           "cmdOut +push button +168 +160 +88 +24 .*Output Stats"; do
    check "panel table row: $row" 'grep -qE "^$row" "$work/out"'
done
check "panel title" 'head -n 1 "$work/out" | grep -q "^Murl!  (310 x 270, icon 0)"'
boxes=$(grep -cE "^chk\S* +check box" "$work/out")
checked=$(grep -cE "^chk\S* +check box .* checked( |$)" "$work/out")
expect 0 "panel --svg" -- "$sim" panel --svg "$work/panel.svg"
svg="$work/panel.svg"
check "svg title bar" 'grep -q ">Murl!</text>" "$svg"'
check "svg has the table's check boxes and two buttons" \
    '[ "$boxes" -gt 0 ] && [ "$(grep -c "<g id=\"chk" "$svg")" = "$boxes" ] &&
     [ "$(grep -c "<g id=\"cmd" "$svg")" = 2 ]'
check "svg checks the boxes the table checks" \
    '[ "$checked" -gt 0 ] && [ "$(grep -c "class=\"check\"" "$svg")" = "$checked" ]'
check "svg draws each button at its place and size" \
    'grep -q "<rect x=\"16\" y=\"160\" width=\"88\" height=\"24\" rx=\"3\"" "$svg" &&
     grep -q "<rect x=\"168\" y=\"160\" width=\"88\" height=\"24\" rx=\"3\"" "$svg" &&
     grep -q ">Reset Stats</text>" "$svg" && grep -q ">Output Stats</text>" "$svg"'
check "svg labels the boxes" \
    'grep -q ">Filter &apos;You evaded&apos; messages</text>" "$svg" &&
     grep -q ">Filter Bots (-b- and -t-)</text>" "$svg"'
expect 3 "panel --svg into a missing folder" -- "$sim" panel --svg "$work/absent/panel.svg"
check "panel --svg into a missing folder says why" \
    'grep -qxF "murl-sim: cannot write the --svg file \"$work/absent/panel.svg\": No such file or directory" "$work/err"'
expect 3 "panel --svg onto a folder" -- "$sim" panel --svg "$work"
check "panel --svg onto a folder says why" \
    'grep -qxF "murl-sim: cannot write the --svg file \"$work\": it is a folder" "$work/err"'
expect 3 "panel --svg under a file" -- "$sim" panel --svg "$svg/panel.svg"
check "panel --svg under a file says why" 'grep -qF ": Not a directory" "$work/err"'
expect 0 "panel --svg -" -- "$sim" panel --svg -
check "panel --svg - writes the drawing to standard output" 'cmp -s "$work/out" "$svg"'
check "panel --svg - creates no file named -" '[ ! -e - ]'

# ---- hostile files and failing output --------------------------------------------------------
hostile="$work/hostile"
mkdir -p "$hostile/fifo-dir"
printf 'init\nlogin\n' >"$hostile/ok.scenario"

# A store whose integrity check fails is refused, naming the file, before anything runs.
damaged="$hostile/damaged.sqlite"
"$sim" settings set SAlice Evades 41 --store "$damaged"
for i in $(seq 1 150); do "$sim" settings set "Character$i" Evades 1234567890 --store "$damaged"; done
truncate -s 5000 "$damaged"
cp "$damaged" "$hostile/damaged.copy"
expect 3 "settings list of a damaged store" -- "$sim" settings list --store "$damaged"
check "the damaged store is named" 'grep -qF "\"$damaged\"" "$work/err" && grep -q damaged "$work/err"'
expect 3 "settings set into a damaged store" -- "$sim" settings set SAlice Evades 1 --store "$damaged"
expect 3 "a run on a damaged store" -- "$sim" run --store "$damaged" --module-dir "$hostile" \
    "$hostile/ok.scenario"
check "a run on a damaged store says so" 'grep -qF "\"$damaged\"" "$work/err" && [ ! -s "$work/out" ]'
check "a damaged store is never written" 'cmp -s "$damaged" "$hostile/damaged.copy"'
check "a run on a damaged store logs nothing" '[ ! -e "$hostile/murl_err.log" ]'

# A FIFO never makes anything wait.
mkfifo "$hostile/fifo-dir/murl_err.log" "$hostile/fifo.sqlite"
printf 'fault GetHooks\ninit\n' >"$hostile/fault.scenario"
expect 0 "a FIFO as the log" -- timeout 20 "$sim" run --store "$hostile/s.sqlite" \
    --module-dir "$hostile/fifo-dir" "$hostile/fault.scenario"
expect 3 "a FIFO as the store" -- timeout 20 "$sim" settings list --store "$hostile/fifo.sqlite"
check "a FIFO as the store is refused" 'grep -q "Path/File access error" "$work/err"'

# A file-size limit makes the log's write fail; it does not kill the simulator.
head -c 2000 /dev/zero | tr '\0' x >"$hostile/murl_err.log"
expect 0 "a log beyond the file-size limit" -- bash -c 'ulimit -f 1; exec "$@"' _ "$sim" run --json \
    --store "$hostile/s.sqlite" --module-dir "$hostile" "$hostile/fault.scenario"
check "the run beyond the file-size limit has its transcript" '[ "$(grep -c "" "$work/out")" = 2 ]'
check "the oversized log is left whole" '[ "$(wc -c <"$hostile/murl_err.log")" = 2000 ]'

# Diagnostics show input escaped and cut short, on one line.
printf 'init\n\033[2J\033]0;pwned\007 now\n' >"$hostile/escapes.scenario"
expect 2 "an unknown verb made of escape sequences" -- "$sim" run "$hostile/escapes.scenario"
check "escape sequences are shown escaped" \
    'grep -qF "$hostile/escapes.scenario:2: unknown verb \"\\x1B[2J\\x1B]0;pwned\\x07\";" "$work/err"'
head -c 200000 /dev/zero | tr '\0' v >"$hostile/long.scenario"
expect 2 "a long bad line" -- "$sim" run "$hostile/long.scenario"
check "a long bad line gives a short message" '[ "$(wc -c <"$work/err")" -lt 300 ]'
printf '\377\376i\000n\000i\000t\000\n\000' >"$hostile/utf16.scenario"
expect 2 "a UTF-16 scenario" -- "$sim" run "$hostile/utf16.scenario"
check "a UTF-16 scenario is named as such" 'grep -q "UTF-16.*must be UTF-8" "$work/err"'
printf 'identity1 Alice\rinit\rlogin\n' >"$hostile/cr.scenario"
expect 2 "CR-only line ends" -- "$sim" run "$hostile/cr.scenario"
check "CR-only line ends are refused at their line" 'grep -q "cr.scenario:1: a CR inside the line" "$work/err"'

# Command-line values that are not UTF-8, or empty, are usage errors.
bad=$'\xff'
expect 2 "a key that is not UTF-8" -- "$sim" settings set bad "$bad" A --store "$hostile/u.sqlite"
check "the argument is named" 'grep -qF "KEY: not UTF-8 text: \"\\xFF\"" "$work/err"'
expect 2 "a value that is not UTF-8" -- "$sim" settings set Settings Bots "x$bad" --store "$hostile/u.sqlite"
check "nothing is stored for a value that is not UTF-8" '[ ! -e "$hostile/u.sqlite" ]'
mkdir -p "$hostile/dir$bad"
expect 2 "a module folder that is not UTF-8" -- "$sim" run --module-dir "$hostile/dir$bad" \
    "$hostile/ok.scenario"
check "the module folder is named" 'grep -q "^--module-dir: not UTF-8 text" "$work/err"'
for option in --store --module-dir --clock; do
    expect 2 "an empty $option" -- "$sim" run "$option" "" "$hostile/ok.scenario"
    check "an empty $option says so" 'grep -q "^$option: empty" "$work/err"'
done
expect 2 "settings list with an empty --store" -- "$sim" settings list --store ""
expect 2 "panel with an empty --svg" -- "$sim" panel --svg ""

# Sections and keys are shown without quotes in the list for people: the controls escaped, a
# no-break space as it is, the backslash of a nested section once. Each row: section|key|shown.
name_rows=(
    $'a\033b|k\tx|[a\\u001Bb] k\\tx = "v"'
    $'Zone\xc2\xa0A|Key\xc2\xa0B|[Zone\xc2\xa0A] Key\xc2\xa0B = "v"'
    'Settings\Sub|a\b|[Settings\Sub] a\b = "v"'
)
for i in "${!name_rows[@]}"; do
    IFS='|' read -r section key shown <<<"${name_rows[$i]}"
    expect 0 "settings set, names $i" -- "$sim" settings set "$section" "$key" v \
        --store "$hostile/names$i.sqlite"
    expect 0 "settings list, names $i" -- "$sim" settings list --store "$hostile/names$i.sqlite"
    check "the names in the list: $shown" '[ "$(cat "$work/out")" = "$shown" ]'
done

# A scenario that is a folder cannot be read, and says why.
expect 2 "a scenario that is a folder" -- "$sim" run "$hostile"
check "a folder as the scenario says why" 'grep -qF "cannot read the scenario \"$hostile\": it is a folder" "$work/err"'
expect 2 "a missing scenario" -- "$sim" run "$hostile/absent"
check "a missing scenario says why" 'grep -qF "cannot read the scenario \"$hostile/absent\": No such file or directory" "$work/err"'

# Output that cannot be written is an error with a message.
if [ -w /dev/full ]; then
    "$sim" settings set Settings Bots True --store "$hostile/full.sqlite"
    for command in "settings list --store $hostile/full.sqlite" \
                   "settings get Settings Bots --store $hostile/full.sqlite" "panel" \
                   "run --store $hostile/full.sqlite --module-dir $hostile $hostile/ok.scenario"; do
        # shellcheck disable=SC2086
        "$sim" $command >/dev/full 2>"$work/err"
        status=$?
        check "$command >/dev/full exits 3 (got $status)" '[ "$status" = 3 ]'
        check "$command >/dev/full says why" 'grep -q "cannot write to standard output" "$work/err"'
    done
fi

# ---- the example session ----------------------------------------------------------------
expect 0 "the example session" -- "$sim" run --json --store "$work/example.sqlite" \
    --module-dir "$work" --clock "2024-05-17 21:30:00" "$example"
check "the example session: one transcript line per event line" \
    '[ "$(grep -c "" "$work/out")" = "$(grep -cvE "^[[:space:]]*(#|$)" "$example")" ]'
check "the example session: Kaelen's statistics" \
    'grep -qF "{\"text\":\"Melee evades = 31\",\"colour\":5,\"target\":1},{\"text\":\"Resists = 12\",\"colour\":5,\"target\":1},{\"text\":\"Zero damage hits = 18\"" "$work/out"'
check "the example session: Brynn's statistics" \
    'grep -qF "{\"text\":\"Melee evades = 19\",\"colour\":5,\"target\":1},{\"text\":\"Resists = 4\",\"colour\":5,\"target\":1},{\"text\":\"Zero damage hits = 8\"" "$work/out"'
check "the example session: no error report" '[ ! -e "$work/murl_err.log" ]'

finish
