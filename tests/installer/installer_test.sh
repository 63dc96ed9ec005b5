#!/usr/bin/env bash
# installer_test.sh CASE: the setup program as a player meets it, under Wine.
#
#   install              a quiet install: files, registration, uninstall entry, a script
#                        client creates the plug-in, and the plug-in created by its ProgID
#                        plays a session as the Linux build does
#   upgrade              installing over an installation replaces it in place, keeps settings;
#                        while the game runs, says so and leaves the old module to a restart
#   uninstall            the quiet uninstall takes away all the install added (a script
#                        client can no longer create the plug-in) and the account's trace,
#                        keeps the player's settings and log; while the game runs, what it
#                        cannot delete goes when Windows restarts, and its status says so
#   failed_registration  a package whose murl.dll cannot register exits non-zero and leaves
#                        nothing behind, nor breaks the installation it was to replace
#   failed_copy          so does an installation whose files cannot be written
#   remove_settings      an uninstall asked to remove the player's settings removes them, the
#                        log and the trace, and leaves nothing of Murl
#   doctor               the installed murl-doctor.exe finds no problem in a fresh installation,
#                        and names each problem of a table, set up as it happens on a player's
#                        machine, with what to do
#
# Each case starts from a prefix without Murl, so the cases share one prefix in any order.
# Environment: MURL_INSTALLER_PREFIX (the Wine prefix), MURL_SETUP (murl-VERSION-setup.exe),
# MURL_DAMAGED_SETUP, MURL_VERSION, MURL_WIN32_DLL (the murl.dll packed), MURL_WIN32_DOCTOR
# (the murl-doctor.exe packed), MURL_SHA256SUMS (the release's checksums), MURL_WIN32_SIM
# (murl-sim.exe), MURL_NATIVE_SIM (the Linux murl-sim), MURL_EXAMPLE (a scenario played both
# ways), MURL_RECORDING_MODULE (a module that records its loading), MURL_OLDER_TYPELIB (Murl's
# type library of an older version); MURL_DOCTOR_ROWS, if set, a pattern of the doctor's rows to
# run.
set -uo pipefail

export WINEPREFIX=$MURL_INSTALLER_PREFIX
. "$(dirname "$0")/../../cmake/wine-env.sh"
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
mounted=  # a folder the doctor's cases mounted (read-only, or a small drive), until they unmount it
holder=   # a program holding murl_err.log open, until it is told to stop
small_drive=  # a small drive mounted for a row, until the row is done
game=     # the game, holding murl.dll loaded, until it is told to exit
trap '[ -z "$mounted" ] || umount "$mounted"; [ -z "$small_drive" ] || umount "$small_drive"
      [ -z "$holder" ] || kill "$holder"; [ -z "$game" ] || kill "$game"; rm -rf "$work"' EXIT

folder='C:\Program Files (x86)\Murl'
unix_folder="$WINEPREFIX/drive_c/Program Files (x86)/Murl"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
class_key='HKCR\CLSID\{37DEF914-A323-49FA-B948-3D0EF05E737F}'
settings_key='HKCU\Software\VB and VBA Program Settings\Murl'
trace_key='HKCU\Software\Murl'
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Murl/Check Murl.lnk"

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
expect_equal() {  # WHAT EXPECTED ACTUAL
    [ "$2" = "$3" ] || fail "$1: expected '$2', got '$3'"
}

windows_path() {  # Wine maps drive Z: to the root of the Linux file system.
    local path
    path=$(realpath -m "$1")
    printf 'Z:%s' "${path//\//\\}"
}

# Runs a Windows program and waits until every process it started has ended (the uninstaller
# goes on in a copy of itself). Its output goes to the case's Wine log, shown when a program
# crashed; returns the program's exit status.
run() {
    local status=0
    echo "== $*" >>"$work/wine.log"
    wine "$@" >>"$work/wine.log" 2>&1 </dev/null || status=$?
    wineserver -w
    return $status
}

# The registry as a 32-bit program sees it, which is how the installer and murl.dll see it.
reg32() {
    wine 'C:\windows\syswow64\reg.exe' "$@" 2>/dev/null </dev/null | tr -d '\r'
}
reg_value() {  # KEY NAME (or "" for the default value): the data, or nothing when absent
    local args=(query "$1" /v "$2")
    [ -z "$2" ] && args=(query "$1" /ve)
    reg32 "${args[@]}" | sed -nE 's/^    .*    REG_[A-Z_]+    (.*)$/\1/p'
}
has_key() { reg32 query "$1" /ve | grep -q '^HKEY'; }  # reg reports a missing key on stdout

# The account's trace folder (murl.dll's trace files), found once.
trace_dir=
trace_folder() {
    [ -n "$trace_dir" ] ||
        trace_dir=$(winepath -u "$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')")/Murl
    printf '%s' "$trace_dir"
}

# Uninstall entries whose display name is Murl, one key per line.
murl_entries() {
    reg32 query "$uninstall_key" /s |
        awk '/^HKEY/ { key = $0 } /^    DisplayName    REG_SZ    Murl$/ { print key }'
}

install() {  # SETUP [ARGS...]
    local setup=$1
    shift
    run "$setup" /S "$@"
}

# Takes Murl and everything of the player's away, whatever an earlier case left.
start_clean() {
    local quiet
    quiet=$(reg_value "$uninstall_key\\Murl" QuietUninstallString)
    if [ -n "$quiet" ]; then
        local program=${quiet#\"}
        run "${program%%\"*}" /S || true
    fi
    reg32 delete "$uninstall_key\\Murl" /f >/dev/null || true
    reg32 delete "$settings_key" /f >/dev/null || true
    reg32 delete "$trace_key" /f >/dev/null || true
    rm -rf "$unix_folder" "$(trace_folder)"
    [ -z "$(murl_entries)" ] || { echo "cannot start clean: an entry is left"; exit 1; }
}

# The game running: a process that created murl.clsMurl as the game does, so that murl.dll is
# loaded in it, and Windows (Wine too, checked) refuses to delete it, until the game exits.
# While it runs, wineserver -w would wait for it: programs are run with wine alone.
start_game() { start_holding game --plugin; }
# The game exits and Windows restarts: wineboot -r does what a restart does, the deletions
# scheduled for it included.
restart_after_game() {
    [ -n "$game" ] || return 0
    stop_holding game
    wine wineboot -r >>"$work/wine.log" 2>&1 </dev/null
    wineserver -w
}
# hold_file.exe holding what ARG names (a file, or with --plugin murl.dll loaded as the game
# loads it) until C:\NAME.stop exists; its process in the variable NAME, its output in
# $work/NAME.out. Returns once it holds.
start_holding() {  # NAME ARG...
    local name=$1
    shift
    wine "$MURL_WIN32_HOLD" "$@" "C:\\$name.stop" >"$work/$name.out" 2>/dev/null </dev/null &
    printf -v "$name" %s $!
    for _ in $(seq 100); do grep -q held "$work/$name.out" && return 0; sleep 0.2; done
    return 1
}
stop_holding() {  # NAME
    local name=$1
    [ -n "${!name}" ] || return 0
    touch "$WINEPREFIX/drive_c/$name.stop"
    wait "${!name}"
    rm -f "$WINEPREFIX/drive_c/$name.stop"
    printf -v "$name" %s ''
}
# The files and folders Windows deletes when it restarts, one a line.
pending_deletions() {
    wine reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' \
        /v PendingFileRenameOperations 2>/dev/null </dev/null | tr -d '\r' |
        sed -nE 's/^ +PendingFileRenameOperations +REG_MULTI_SZ +//p' | sed 's/\\0/\n/g' |
        sed -n 's/^\\??\\//p' | sed 's/\\$//'
}
# Runs a Windows command line and prints its exit status whole: a Linux parent gets only the
# low 8 bits of it from Wine (3010 arrives as 194).
windows_status() {  # COMMAND-LINE
    printf '@%s\r\n@echo status %%errorlevel%%\r\n' "$1" >"$work/status.bat"
    wine cmd /c "$(windows_path "$work/status.bat")" 2>>"$work/wine.log" </dev/null | tr -d '\r' |
        sed -n 's/^status //p'
}
# The quiet uninstall as a caller that waits for it and reads its status runs it: NSIS's
# uninstaller returns at once and goes on in a copy of itself, unless it is a copy told its
# folder.
uninstall_waiting() {  # prints its exit status
    cp "$unix_folder/uninstall.exe" "$work/uninstall.exe"
    windows_status "\"$(windows_path "$work/uninstall.exe")\" /S _?=$folder"
}
# A quiet upgrade run while the game runs (wineserver -w would wait for the game).
upgrade_waiting() {  # prints its exit status
    windows_status "\"$(windows_path "$MURL_SETUP")\" /S"
}

# Plays SCENARIO through murl.dll created by its ProgID, JSON transcript on standard output.
play_com() {
    wine "$MURL_WIN32_SIM" run --plugin com --json "$(windows_path "$1")" 2>"$work/sim.err" \
        </dev/null
}

# A quick check that the registered class can be created and driven.
check_plays() {  # WHAT
    local banner
    banner=$(printf 'init\ntype /murl help\n' | wine "$MURL_WIN32_SIM" run --plugin com --json - \
        2>"$work/sim.err")
    [[ "$banner" == *"Murl! version: $MURL_VERSION"* ]] ||
        fail "$1: murl.clsMurl did not answer /murl help: $banner $(cat "$work/sim.err")"
}

# A script client creates murl.clsMurl by its ProgID. The script host swallows a script's
# errors and exits 0, so the script sets its own status and says what happened.
script_client() {  # WHAT STATUS OUTPUT (a pattern)
    local output status=0
    output=$(wine cscript //nologo "$(windows_path "$here/../win32/typename.vbs")" 2>/dev/null \
        </dev/null) || status=$?
    output=${output//$'\r'/}
    # shellcheck disable=SC2053
    [[ $status == "$2" && $output == $3 ]] ||
        fail "$1: the script client exited with status $status and printed '$output'"
}

check_installed_files() {
    local listing
    listing=$(cd "$unix_folder" && find . -mindepth 1 -maxdepth 1 ! -name murl_err.log ! -name ARCH \
        -printf '%f\n' | sort | tr '\n' ' ')
    expect_equal "installed files" "LICENSE.txt README.txt murl-doctor.exe murl.dll uninstall.exe " "$listing"
    cmp -s "$MURL_WIN32_DLL" "$unix_folder/murl.dll" || fail "the installed murl.dll is not the package's"
    cmp -s "$MURL_WIN32_DOCTOR" "$unix_folder/murl-doctor.exe" ||
        fail "the installed murl-doctor.exe is not the package's"
    # "Check Murl" in the Start menu runs the doctor and keeps its report on screen.
    [ -f "$shortcut" ] || fail "no Start-menu entry \"Check Murl\""
    local link
    link=$(strings -e l "$shortcut" 2>/dev/null | tr '\n' ' ')
    [[ $link == *"murl-doctor.exe"*"--pause"* ]] || fail "\"Check Murl\" does not run murl-doctor.exe --pause: $link"
    grep -q "^Version $MURL_VERSION"$'\r$' "$unix_folder/README.txt" ||
        fail "README.txt: no version line, or not in CRLF lines"
    grep -q "The Murl developers" "$unix_folder/LICENSE.txt" || fail "LICENSE.txt is not ours"
}

check_registered_here() {  # WHAT
    expect_equal "$1: InprocServer32" "$folder\\murl.dll" "$(reg_value "$class_key\\InprocServer32" "")"
    expect_equal "$1: ProgID" "{37DEF914-A323-49FA-B948-3D0EF05E737F}" \
        "$(reg_value 'HKCR\murl.clsMurl\CLSID' "")"
}

case_install() {
    start_clean
    install "$MURL_SETUP" || fail "the quiet install exited with status $?"
    check_installed_files
    # The release's checksums name the installed programs, so an installed file can be checked.
    local checked
    checked=$(cd "$unix_folder" && sha256sum -c --ignore-missing "$MURL_SHA256SUMS" 2>&1)
    expect_equal "installed files checked against SHA256SUMS" "murl.dll: OK
murl-doctor.exe: OK" "$checked"
    check_registered_here "install"
    script_client "install" 0 _clsMurl

    expect_equal "entries" "$uninstall_key\\Murl" "$(murl_entries | sed 's/^HKEY_LOCAL_MACHINE/HKLM/')"
    local entry="$uninstall_key\\Murl" size
    local -A wanted=(
        [DisplayName]="Murl"
        [DisplayVersion]="$MURL_VERSION"
        [Publisher]="The Murl developers"
        [InstallLocation]="$folder"
        [UninstallString]="\"$folder\\uninstall.exe\""
        [QuietUninstallString]="\"$folder\\uninstall.exe\" /S"
    )
    for name in "${!wanted[@]}"; do
        expect_equal "entry $name" "${wanted[$name]}" "$(reg_value "$entry" "$name")"
    done
    size=$(($(reg_value "$entry" EstimatedSize)))
    local actual_kb=$(($(du -bc "$unix_folder"/* | tail -1 | cut -f1) / 1024))
    if [ "$size" -lt $((actual_kb - 4)) ] || [ "$size" -gt $((actual_kb + 4)) ]; then
        fail "EstimatedSize $size KB, the files take $actual_kb KB"
    fi

    # The plug-in created by its ProgID plays the example as the Linux build does.
    "$MURL_NATIVE_SIM" run --json --store "$work/store.sqlite" --module-dir "$work" "$MURL_EXAMPLE" \
        >"$work/native.jsonl" || fail "the Linux murl-sim failed"
    play_com "$MURL_EXAMPLE" >"$work/com.jsonl" || fail "murl-sim.exe --plugin com failed: $(cat "$work/sim.err")"
    [ -s "$work/com.jsonl" ] || fail "no transcript through COM"
    if ! cmp -s "$work/native.jsonl" "$work/com.jsonl"; then
        fail "the transcript through the installed murl.dll differs from the Linux one"
        diff -u "$work/native.jsonl" "$work/com.jsonl" | head -20
    fi
}

case_upgrade() {
    start_clean
    install "$MURL_SETUP" || fail "the first install exited with status $?"
    play_com "$here/player-data.scenario" >/dev/null || fail "the player's session failed"
    expect_equal "the setting before the upgrade" "True" \
        "$(wine "$MURL_WIN32_SIM" settings get Settings Bots 2>/dev/null | tr -d '\r')"
    # An older build stands in for the installed one: the same module with bytes after its
    # image, which Windows ignores and the upgrade must not keep.
    printf 'an older murl.dll' >>"$unix_folder/murl.dll"

    install "$MURL_SETUP" || fail "the upgrade exited with status $?"
    check_installed_files
    check_registered_here "upgrade"
    expect_equal "entries after the upgrade" 1 "$(murl_entries | grep -c .)"
    expect_equal "the setting after the upgrade" "True" \
        "$(wine "$MURL_WIN32_SIM" settings get Settings Bots 2>/dev/null | tr -d '\r')"
    [ -f "$unix_folder/murl_err.log" ] || fail "the upgrade lost murl_err.log"
    check_plays "upgrade"

    # A folder given for an upgrade is not taken: the installation stays where it is.
    install "$MURL_SETUP" "/D=C:\\Elsewhere\\Murl" || fail "the upgrade with /D exited with status $?"
    [ ! -e "$WINEPREFIX/drive_c/Elsewhere" ] || fail "the upgrade installed a second copy"
    expect_equal "entries after the upgrade with /D" 1 "$(murl_entries | grep -c .)"
    check_registered_here "upgrade with /D"

    # While the game runs it keeps the module it loaded (an older build): the upgrade puts that
    # aside, installs and registers the new one and exits with 3010; the old one goes when
    # Windows restarts. Run again before that, it fails without bringing the older one back.
    printf 'an older murl.dll' >>"$unix_folder/murl.dll"
    cp "$unix_folder/murl.dll" "$work/older.dll"
    start_game || fail "the game could not create murl.clsMurl: $(cat "$work/game.out")"
    expect_equal "exit status of an upgrade while the game runs" 3010 "$(upgrade_waiting)"
    cmp -s "$MURL_WIN32_DLL" "$unix_folder/murl.dll" || fail "the upgrade while the game runs did not install murl.dll"
    check_registered_here "upgrade while the game runs"
    pending_deletions | grep -qxF "$folder\murl.dll.previous" ||
        fail "murl.dll.previous is not to be deleted at a restart: $(pending_deletions)"
    expect_equal "exit status of a second upgrade while the game runs" 2 "$(upgrade_waiting)"
    cmp -s "$MURL_WIN32_DLL" "$unix_folder/murl.dll" || fail "a failed second upgrade brought back the older murl.dll"
    cmp -s "$work/older.dll" "$unix_folder/murl.dll.previous" || fail "a failed second upgrade moved the module the game holds"
    check_registered_here "after a failed second upgrade while the game runs"
    restart_after_game
    check_installed_files
    check_plays "upgrade while the game ran"
}

# The player switches the trace on with the installed doctor and plays a session through
# murl.dll; an older trace file from an earlier session lies beside it.
traced_session() {  # WHAT
    wine "$folder\murl-doctor.exe" trace on >/dev/null 2>&1 </dev/null || fail "$1: trace on failed"
    play_com "$here/player-data.scenario" >/dev/null || fail "$1: the player's session failed"
    grep -q 'Initialize -> S_OK' "$(trace_folder)/murl_trace.log" 2>/dev/null ||
        fail "$1: the traced session wrote no trace to $(trace_folder)"
    echo "an older session's chat" >"$(trace_folder)/murl_trace.old.log"
}

expect_no_trace() {  # WHAT
    [ ! -e "$(trace_folder)" ] || fail "$1: the trace folder is left: $(ls -A "$(trace_folder)")"
    expect_equal "$1: the trace switch" "" "$(reg_value "$trace_key" Trace)"
    has_key "$trace_key" && fail "$1: $trace_key is left"
}

# The whole registry as text, and the files under Program Files, for before-and-after checks.
snapshot() {  # NAME
    run regedit /E "$(windows_path "$work/$1.reg")" || fail "regedit /E failed"
    iconv -f UTF-16LE -t UTF-8 "$work/$1.reg" | tr -d '\r' >"$work/$1.txt"
    (cd "$WINEPREFIX/drive_c/Program Files (x86)" && find . | sort) >"$work/$1.files"
}

# A registry export cut to what the setup program and its uninstaller may touch: the classes,
# the installed-programs entry and the accounts' software keys, without the sections of the
# platform's settings store, which belong to the player. The rest (the hardware tree, the
# display driver's key and its date, the services' counts, the accounts' Wine settings with their
# volatile keys) is Wine's own and changes by itself, at each start and at midnight. Key names
# compare in any letter case, as the registry's do.
comparable() {  # NAME
    awk '
        /^\[/ {
            key = tolower($0)
            skip = !(index(key, "[hkey_local_machine\\software\\") == 1 ||
                     index(key, "[hkey_classes_root\\") == 1 ||
                     key ~ /^\[hkey_users\\[^\\]+\\software\\/)
            if (key ~ /^\[hkey_users\\[^\\]+\\software\\vb and vba program settings(\\|\])/) skip = 1
            if (key ~ /^\[hkey_users\\[^\\]+\\software\\wine(\\|\])/) skip = 1
        }
        /^"DriverDateData"=/ { next }
        !skip' "$work/$1.txt"
}

expect_same_registry() {  # BEFORE AFTER WHAT
    comparable "$1" >"$work/$1.cmp"
    comparable "$2" >"$work/$2.cmp"
    if ! cmp -s "$work/$1.cmp" "$work/$2.cmp"; then
        fail "$3: the registry differs beyond the player's settings"
        diff "$work/$1.cmp" "$work/$2.cmp" | head -40
    fi
    # Wine's debugger leaves its key behind when it has caught a crash.
    local debugger='^\[hkey_users\\[^\\]*\\software\\wine\\winedbg\]'
    if grep -qi "$debugger" "$work/$2.txt" && ! grep -qi "$debugger" "$work/$1.txt"; then
        fail "$3: a Windows program crashed during the case (after the line naming it):"
        grep -E '^== |Unhandled' "$work/wine.log" | grep -B1 Unhandled
    fi
}

case_uninstall() {
    start_clean
    snapshot before
    install "$MURL_SETUP" || fail "the install exited with status $?"
    traced_session "quiet uninstall"
    [ -s "$unix_folder/murl_err.log" ] || fail "the plug-in wrote no murl_err.log beside itself"
    mkdir -p "$unix_folder/ARCH"
    cp "$unix_folder/murl_err.log" "$unix_folder/ARCH/murl_err 2024-05-17 213000.log"
    cp "$unix_folder/murl_err.log" "$work/log.kept"
    snapshot installed

    local quiet program
    quiet=$(reg_value "$uninstall_key\\Murl" QuietUninstallString)
    program=${quiet#\"}
    program=${program%%\"*}
    expect_equal "quiet uninstall command" "\"$program\" /S" "$quiet"
    run "$program" /S || fail "the quiet uninstall exited with status $?"
    snapshot after

    # Files: only the player's log and its archive are left.
    diff "$work/before.files" "$work/after.files" >"$work/files.diff"
    expect_equal "files left behind" "> ./Murl
> ./Murl/ARCH
> ./Murl/ARCH/murl_err 2024-05-17 213000.log
> ./Murl/murl_err.log" "$(grep '^[<>]' "$work/files.diff")"
    cmp -s "$work/log.kept" "$unix_folder/murl_err.log" || fail "murl_err.log changed"

    # Registry: every key the install added is gone; only the player's settings remain.
    local added
    added=$(diff <(comparable before) <(comparable installed) | grep -c '^>')
    [ "$added" -gt 10 ] || fail "the install added only $added registry lines: is the export complete?"
    expect_same_registry before after "after the uninstall"
    expect_equal "the setting after the uninstall" "True" \
        "$(wine "$MURL_WIN32_SIM" settings get Settings Bots 2>/dev/null | tr -d '\r')"
    has_key "$class_key" && fail "the class is still registered"
    [ ! -e "$(dirname "$shortcut")" ] || fail "the Start-menu entry is still there"
    script_client "after the uninstall" 2 'cannot create murl.clsMurl: *'
    [ -z "$(murl_entries)" ] || fail "the uninstall entry is still there"
    expect_no_trace "after the quiet uninstall"

    # While the game runs, murl.dll is loaded and cannot be deleted: Windows deletes it and the
    # folder when it restarts, and the uninstaller's status says that a restart finishes it.
    rm -rf "$unix_folder"
    install "$MURL_SETUP" || fail "the install exited with status $?"
    start_game || fail "the game could not create murl.clsMurl: $(cat "$work/game.out")"
    expect_equal "exit status of an uninstall while the game runs" 3010 "$(uninstall_waiting)"
    expect_equal "left while the game runs" "murl.dll " "$(find "$unix_folder" -mindepth 1 -printf '%P ')"
    expect_equal "to be deleted at a restart" "$folder\murl.dll
$folder" "$(pending_deletions | grep -F "$folder")"
    [ -z "$(murl_entries)" ] || fail "the uninstall entry is still there while the game runs"
    has_key "$class_key" && fail "the class is still registered while the game runs"
    restart_after_game
    [ ! -e "$unix_folder" ] || fail "left after a restart: $(find "$unix_folder" -mindepth 1 -printf '%P ')"
}

case_failed_registration() {
    start_clean
    snapshot before
    local status=0
    install "$MURL_DAMAGED_SETUP" || status=$?
    expect_equal "exit status of a failed registration" 2 "$status"
    snapshot after
    [ ! -e "$unix_folder" ] || fail "a failed registration left $(find "$unix_folder" -mindepth 1 -printf '%P ')"
    cmp -s "$work/before.files" "$work/after.files" || fail "a failed registration left files"
    expect_same_registry before after "after a failed registration"
    [ -z "$(murl_entries)" ] || fail "a failed registration left an uninstall entry"

    # Over a working installation: it fails the same way and the old one keeps working.
    install "$MURL_SETUP" || fail "the install exited with status $?"
    reg32 query "$uninstall_key\\Murl" >"$work/entry.before"
    status=0
    install "$MURL_DAMAGED_SETUP" || status=$?
    expect_equal "exit status of a failed upgrade" 2 "$status"
    reg32 query "$uninstall_key\\Murl" >"$work/entry.after"
    cmp -s "$work/entry.before" "$work/entry.after" || fail "a failed upgrade changed the entry"
    check_installed_files
    check_registered_here "after a failed upgrade"
    check_plays "after a failed upgrade"
}

case_failed_copy() {
    start_clean
    # A folder stands where murl.dll should go: the copy fails and the rest is taken back.
    local target="$WINEPREFIX/drive_c/Blocked" status=0
    rm -rf "$target"
    mkdir -p "$target/murl.dll"
    install "$MURL_SETUP" '/D=C:\Blocked' || status=$?
    expect_equal "exit status of a failed copy" 2 "$status"
    expect_equal "left in the folder" "murl.dll " "$(find "$target" -mindepth 1 -printf '%P ')"
    [ -z "$(murl_entries)" ] || fail "a failed copy left an uninstall entry"
    has_key "$class_key" && fail "a failed copy left the class key"
    rm -rf "$target"
}

# Removing with the player's settings (the box on the uninstaller's page; /RemoveSettings for a
# quiet removal): the settings of the account that started the uninstaller go, with the log and
# its archive, and nothing of Murl is left. Wine runs everything as one account, so only that
# case shows here: an uninstaller elevated with another account's password removes the settings
# of the account signed in to the session, never the elevating account's.
case_remove_settings() {
    start_clean
    install "$MURL_SETUP" || fail "the install exited with status $?"
    reg32 add "$settings_key\\Settings" /v Bots /d True /f >/dev/null
    has_key "$settings_key" || fail "no settings to remove"
    mkdir -p "$unix_folder/ARCH"
    echo "a failure" >"$unix_folder/murl_err.log"
    cp "$unix_folder/murl_err.log" "$unix_folder/ARCH/murl_err 2024-05-17 213000.log"
    traced_session "uninstall with /RemoveSettings"

    run "$folder\\uninstall.exe" /S /RemoveSettings || fail "the uninstall exited with status $?"
    has_key "$settings_key" && fail "the player's settings are still there"
    expect_no_trace "after the uninstall with /RemoveSettings"
    [ ! -e "$unix_folder" ] || fail "left in the folder: $(find "$unix_folder" -mindepth 1 -printf '%P ')"
    [ -z "$(murl_entries)" ] || fail "the uninstall entry is still there"
}

# ---- The doctor ------------------------------------------------------------------------------

# Each row: a name, how the problem comes about (a function below), the checks that report a
# problem, each cause once (none: the doctor must find nothing), words its report must hold, and
# optionally the fix its report proposes (a function below), after which it finds nothing.
doctor_cases=(
    "fresh install|nothing||No problem found."
    "class unregistered|unregister|registration.class|murl.clsMurl is not registered|reinstall"
    "class registered without its file|register_empty_path|registration.class|murl.clsMurl is registered without the file that serves it|reinstall"
    "class redirected to a class not registered|treat_as_nothing|registration.activation|which names no registered class, so the game gets Class not registered (0x80040154)|reinstall"
    "class redirected to another class|treat_as_other|registration.activation|{0D43FE01-F093-11CF-8940-00A0C9054228} (FileSystem Object), so the game gets that class instead of Murl|reinstall"
    "registered to a copy elsewhere|register_copy|registration.same_file|another copy of murl.dll: C:\\Old Murl\\murl.dll, not to the one the setup program installed in C:\\Program Files (x86)\\Murl|reinstall"
    "a copy of the release beside the setup installation|unzipped_copy||this doctor runs from another copy of Murl, in C:\\Unzipped; it checks C:\\Program Files (x86)\\Murl, installed by the setup program."
    "that copy registered by hand, its doctor run|register_unzipped_copy|registration.same_file|another copy of murl.dll: C:\\Unzipped\\murl.dll, not to the one the setup program installed|reinstall"
    "a copy of the release and no setup installation|unzipped_only|registration.class|install Murl with its setup program, which puts murl.dll where only administrators can change it. Running \"regsvr32 murl.dll\" as administrator in C:\\Unzipped would register this copy too, but any program this account runs can replace murl.dll there|register_unzipped"
    "that copy registered, and redirected by a TreatAs|register_unzipped_redirected|registration.activation|which names no registered class|register_unzipped"
    "that copy in a folder this account cannot change|unzipped_only_unchangeable|registration.class log.writable|run \"regsvr32 murl.dll\" as administrator in C:\\Unzipped."
    "registered without .dll in a folder with a dot|register_dotted_folder|registration.same_file|another copy of murl.dll: C:\\Murl.v2\\murl.dll|reinstall"
    "registered without a drive|register_without_drive|registration.path|the class is registered to \"\\Program Files (x86)\\Murl\\murl.dll\", which is not a full path|reinstall"
    "murl.dll truncated|truncate_module|module.checksum|damaged or was replaced|reinstall"
    "one byte of murl.dll changed|change_one_byte|module.checksum|changed since it was shipped|reinstall"
    "murl.dll replaced by a file not Murl's|replace_by_recording|module.checksum|The doctor does not run it.|reinstall"
    "class registered to a file not Murl's|register_recording|registration.same_file|which is not this release's murl.dll|reinstall"
    "registered by a bare name|register_bare_name|registration.path|registered by the name \"murl.dll\" without its folder|reinstall"
    "registered path quoted, short and in other case|register_short_quoted||No problem found."
    "registered path in an expandable text|register_expandable||No problem found."
    "threading model in other letter case|threading_model_lower_case||No problem found."
    "threading model not Murl's|threading_model_free|registration.threading_model|where Murl needs \"Apartment\"|reinstall"
    "type library file of another version|register_older_typelib|registration.typelib_version|Murl's type library of version 1.0, where this murl.dll has version 2.0|reinstall"
    "type library file of another minor version|register_minor_typelib|registration.typelib_version|Murl's type library of version 2.1, where this murl.dll has version 2.0|reinstall"
    "another program's type library in Murl's place|register_foreign_typelib|registration.typelib_version|the file holds another library, {00020430-0000-0000-C000-000000000046} version 2.0, not Murl's|reinstall"
    "doctor copied to another folder|copy_doctor_elsewhere||C:\\Program Files (x86)\\Murl, installed by the setup program (this doctor runs from C:\\Desktop copy)"
    "after an uninstall|uninstall_murl|module.installation|Murl is not installed|reinstall"
    "after an uninstall that kept the log|uninstall_keeping_log|module.installation|left of Murl: C:\\Program Files (x86)\\Murl\\murl_err.log"
    "after an uninstall that kept the settings|uninstall_keeping_settings|module.installation|left of Murl: this account's settings (1 value)"
    "after an uninstall while the game ran|uninstall_while_playing|module.installation|murl.dll: in use by a running program when Murl was uninstalled (the game had it loaded); Windows deletes it when it restarts"
    "after an older uninstall while the game ran|uninstall_scheduling_nothing|module.installation|to remove it: close the game, then delete it from C:\\Program Files (x86)\\Murl."
    "upgraded while the game runs|upgrade_while_playing||to use this release: close the game and start it again. Windows deletes murl.dll.previous when it restarts.|restart_after_game"
    "registered copy deleted since|register_deleted_copy|registration.path|the class is registered to C:\\Unzipped\\murl.dll, which does not exist|reinstall"
    "type library file gone|register_deleted_typelib|registration.typelib_file|the type library is registered to C:\\Unzipped\\murl.dll, which does not exist|reinstall"
    "module folder not writable|read_only_folder|log.writable|cannot create C:\\Program Files (x86)\\Murl\\murl_err.log"
    "a folder named murl_err.log|log_folder|log.writable|a folder named murl_err.log is where Murl writes its log|remove_log_folder"
    "log held by another program|hold_log|log.writable|close the program that has murl_err.log open|release_log"
    "log marked read-only|read_only_log|log.writable|murl_err.log is marked read-only|clear_read_only"
    "log of one entry|one_entry_log||1 entry; the last entry below"
    "ARCH folder beside the log|arch_folder||an ARCH folder beside it holds logs archived earlier"
    "large log|large_log||most frequent, 30000 times from 1/2/2026 10:00:00 to 1/2/2026 18:19:59: \"Error in LoadVariables: Overflow. At line 0\""
    "log ending in 400 MiB of zero bytes, as a crash leaves it|zeros_after_log||zero bytes from offset 64 to 419430463: 419430400 bytes (400.0 MiB)|rename_log"
    "log with 50 MiB of zero bytes and an entry after them|zeros_within_log||Murl adds its entries after them (1 entry since the last)|rename_log"
    "log's drive nearly full|nearly_full_drive|log.writable|less than the 1048576 bytes (1.0 MiB) that Murl needs for its log T:\\Murl\\murl_err.log|free_small_drive"
    "a failure lost on a full drive|failure_lost_on_full_drive|log.writable|0 bytes, no entry: Murl creates it only to write an entry, and with its drive this full that entry may have been lost|free_small_drive"
    "trace on, its drive full|trace_drive_full|trace.space|that the trace in|free_trace_drive"
    "counter not a number|store_counter_text|settings.value|key \"Evades\" holds \"lots\", not a count (Type mismatch)"
    "counter out of range|store_counter_overflow|settings.value|key \"Zero\" holds \"3000000000\", not a count (Overflow)"
    "switch text not a switch|store_switch_text|settings.value|key \"Bots\" holds \"yes\", not a switch (Type mismatch)"
    "numbers stored as numbers|store_numbers||\"KaelenEmberfall\" \"Evades\" = 12 (REG_DWORD)"
    "counter of a type Murl cannot read|store_counter_binary|settings.value|section \"KaelenEmberfall\", key \"Evades\" holds an unreadable value (REG_BINARY), not a count (Type mismatch (stored as REG_BINARY))"
    "negative count, a note|store_counter_negative||What to do: log in with this character, press \"Reset Stats\" on Murl's panel and confirm|reset_stats"
    "trace on, a file for its folder|trace_folder_is_file|trace.file|the trace is on, but Murl cannot write it|remove_trace_folder_file"
    "trace on, no trace folder yet|trace_on_no_folder||No problem found."
    "trace on, local application data gone|trace_local_data_gone|trace.file|connect its drive, or create the folder|restore_local_data"
    "trace switch cannot be stored|trace_key_read_only||off, and it cannot be switched on for this account|restore_trace_key"
    "trace switch a text|trace_switch_text||Trace holds a text, which Murl reads as off"
    "trace files left while off|trace_left_while_off||trace files left while the trace is off"
)

nothing() { :; }
# The fixes the doctor proposes, done as its report says.
reinstall() { install "$MURL_SETUP"; }
register_unzipped() { run regsvr32 /s 'C:\Unzipped\murl.dll'; }
# The player, or another program's uninstaller, unregistered it.
unregister() { run regsvr32 /u /s "$folder\murl.dll"; }
# A copy from the .zip, registered by hand in a folder of its own.
register_copy() {
    mkdir -p "$WINEPREFIX/drive_c/Old Murl"
    cp "$unix_folder/murl.dll" "$WINEPREFIX/drive_c/Old Murl/"
    run regsvr32 /s 'C:\Old Murl\murl.dll'
}
# A registration tool that wrote the class without its file.
register_empty_path() { reg32 add "$class_key\\InprocServer32" /ve /d "" /f >/dev/null; }
# Another program's installer told COM to make another class in Murl's place: one that is not
# registered, and one that is.
treat_as_nothing() { reg32 add "$class_key\\TreatAs" /ve /d '{0BADC1A5-0000-4000-8000-000000000001}' /f >/dev/null; }
treat_as_other() { reg32 add "$class_key\\TreatAs" /ve /d '{0D43FE01-F093-11CF-8940-00A0C9054228}' /f >/dev/null; }
# The release's .zip unpacked in a folder of its own, and its doctor run from there.
unzip_copy() {
    mkdir -p "$WINEPREFIX/drive_c/Unzipped"
    cp "$MURL_WIN32_DLL" "$MURL_WIN32_DOCTOR" "$WINEPREFIX/drive_c/Unzipped/"
    doctor_exe='C:\Unzipped\murl-doctor.exe'
}
unzipped_copy() { unzip_copy; }
register_unzipped_copy() { unzip_copy && register_unzipped; }
unzipped_only() { run "$folder\\uninstall.exe" /S && unzip_copy; }
register_unzipped_redirected() { unzipped_only && register_unzipped && treat_as_nothing; }
# Wine reads the right to change a file or a folder from its mode.
unzipped_only_unchangeable() {
    unzipped_only && chmod a-w "$WINEPREFIX/drive_c/Unzipped/murl.dll" "$WINEPREFIX/drive_c/Unzipped"
}
# A copy registered by a path without ".dll", which the loader completes, in a folder whose name
# holds a dot.
register_dotted_folder() {
    mkdir -p "$WINEPREFIX/drive_c/Murl.v2"
    cp "$MURL_WIN32_DLL" "$WINEPREFIX/drive_c/Murl.v2/murl.dll"
    reg32 add "$class_key\\InprocServer32" /ve /d 'C:\Murl.v2\murl' /f >/dev/null
}
# A path without its drive: a game's process takes the drive of its own current folder.
register_without_drive() {
    reg32 add "$class_key\\InprocServer32" /ve /d '\Program Files (x86)\Murl\murl.dll' /f >/dev/null
}
# A broken download or a disk error.
truncate_module() { truncate --size=150000 "$unix_folder/murl.dll"; }
change_one_byte() {
    local byte
    byte=$(od -An -tu1 -j100000 -N1 "$unix_folder/murl.dll" | tr -d ' ')
    printf "\\$(printf '%03o' $((255 - byte)))" |
        dd of="$unix_folder/murl.dll" bs=1 seek=100000 conv=notrunc status=none
}
# Another program's file in murl.dll's place, or named by murl.dll's class: it records its own
# loading, which the doctor must never cause.
replace_by_recording() { cp "$MURL_RECORDING_MODULE" "$unix_folder/murl.dll"; }
register_recording() {
    mkdir -p "$WINEPREFIX/drive_c/Other"
    cp "$MURL_RECORDING_MODULE" "$WINEPREFIX/drive_c/Other/murl.dll"
    reg32 add "$class_key\\InprocServer32" /ve /d 'C:\Other\murl.dll' /f >/dev/null
}
# Registered by hand from Murl's folder ("regsvr32" of a tool that writes the name alone).
register_bare_name() { reg32 add "$class_key\\InprocServer32" /ve /d murl.dll /f >/dev/null; }
# Ways of writing the path that COM accepts.
register_short_quoted() {
    local short
    short=$(printf '@for %%%%I in ("%s\\murl.dll") do @echo %%%%~sI\r\n' "$folder" >"$work/short.bat" &&
        wine cmd /c "$(windows_path "$work/short.bat")" 2>/dev/null </dev/null | tr -d '\r')
    [[ $short == *'~'* ]] || return 1
    reg32 add "$class_key\\InprocServer32" /ve /d "\"${short,,}\"" /f >/dev/null
}
register_expandable() {
    reg32 add "$class_key\\InprocServer32" /ve /t REG_EXPAND_SZ \
        /d '%ProgramFiles(x86)%\Murl\murl.dll' /f >/dev/null
}
threading_model_lower_case() { reg32 add "$class_key\\InprocServer32" /v ThreadingModel /d apartment /f >/dev/null; }
threading_model_free() { reg32 add "$class_key\\InprocServer32" /v ThreadingModel /d Free /f >/dev/null; }
# An earlier release's type library registered in this one's place.
register_older_typelib() {
    cp "$MURL_OLDER_TYPELIB" "$unix_folder/older_murl.tlb"
    reg32 add 'HKCR\TypeLib\{A18570E7-CE38-41EE-881A-CC291C6A3A0F}\2.0\0\win32' /ve \
        /d "$folder\\older_murl.tlb" /f >/dev/null
}
# Another release's library of Murl's major version, and another program's library, registered
# in this one's place.
register_minor_typelib() {
    cp "$MURL_MINOR_TYPELIB" "$unix_folder/minor_murl.tlb"
    reg32 add 'HKCR\TypeLib\{A18570E7-CE38-41EE-881A-CC291C6A3A0F}\2.0\0\win32' /ve \
        /d "$folder\\minor_murl.tlb" /f >/dev/null
}
register_foreign_typelib() {
    reg32 add 'HKCR\TypeLib\{A18570E7-CE38-41EE-881A-CC291C6A3A0F}\2.0\0\win32' /ve \
        /d 'C:\windows\system32\stdole2.tlb' /f >/dev/null
}
# Players move programs: the doctor copied to a folder of its own.
copy_doctor_elsewhere() {
    mkdir -p "$WINEPREFIX/drive_c/Desktop copy"
    cp "$unix_folder/murl-doctor.exe" "$WINEPREFIX/drive_c/Desktop copy/"
    doctor_exe='C:\Desktop copy\murl-doctor.exe'
}
uninstall_murl() {
    copy_doctor_elsewhere
    run "$folder\\uninstall.exe" /S
}
uninstall_keeping_settings() {
    reg32 add "$settings_key\\KaelenEmberfall" /v Evades /d 12 /f >/dev/null
    uninstall_murl
}
# The game running through the uninstall: murl.dll stays until Windows restarts.
uninstall_while_playing() {
    copy_doctor_elsewhere
    start_game || return 1
    [ "$(uninstall_waiting)" = 3010 ]
}
# An earlier release's uninstaller left murl.dll in use behind and scheduled nothing.
uninstall_scheduling_nothing() {
    uninstall_while_playing || return 1
    wine reg delete 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager' \
        /v PendingFileRenameOperations /f >/dev/null 2>&1 </dev/null
}
upgrade_while_playing() {
    start_game || return 1
    [ "$(upgrade_waiting)" = 3010 ]
}
uninstall_keeping_log() {
    printf 'a failure\r\n' >"$unix_folder/murl_err.log"
    uninstall_murl
}
# A copy from the .zip, registered by hand, whose folder was deleted since.
register_deleted_copy() {
    mkdir -p "$WINEPREFIX/drive_c/Unzipped"
    cp "$unix_folder/murl.dll" "$WINEPREFIX/drive_c/Unzipped/"
    run regsvr32 /s 'C:\Unzipped\murl.dll'
    rm -rf "$WINEPREFIX/drive_c/Unzipped"
}
# The type library alone registered to that copy, as a tool that registers type libraries does.
register_deleted_typelib() {
    reg32 add 'HKCR\TypeLib\{A18570E7-CE38-41EE-881A-CC291C6A3A0F}\2.0\0\win32' /ve \
        /d 'C:\Unzipped\murl.dll' /f >/dev/null
}
# A folder without the right to write it: Wine reads that right from the folder's mode, and, as
# Wine runs as root here, which writes any folder, a read-only mount makes it so. Without the
# right to mount (77) the case is skipped.
read_only_folder() {
    mount --bind "$unix_folder" "$unix_folder" 2>"$work/mount.err" || return 77
    mounted=$unix_folder
    chmod a-w "$unix_folder"
    mount -o remount,ro,bind "$unix_folder"
}
unmount() {
    umount "$mounted"
    chmod u+w "$mounted"
    mounted=
}
log_folder() { mkdir "$unix_folder/murl_err.log"; }
remove_log_folder() { rmdir "$unix_folder/murl_err.log"; }
# An editor or a viewer that opened the log and shares it with no one, until the doctor is done.
hold_log() {
    printf '1/2/2026 10:00:00\tError in SaveVariables: Disk full. At line 0\r\n' >"$unix_folder/murl_err.log"
    start_holding holder "$folder\murl_err.log"
}
release_log() { stop_holding holder; }
read_only_log() {
    printf '1/2/2026 10:00:00\tError in SaveVariables: Disk full. At line 0\r\n' >"$unix_folder/murl_err.log"
    chmod a-w "$unix_folder/murl_err.log"
}
clear_read_only() { run attrib -r "$folder\murl_err.log"; }
one_entry_log() {
    printf '1/2/2026 10:00:00\tError in SaveVariables: Disk full. At line 0\r\n' >"$unix_folder/murl_err.log"
}
# Archived by hand, or by an older tool: Murl itself never makes it.
arch_folder() { one_entry_log && mkdir "$unix_folder/ARCH"; }
# Years of failures at every login, one of them over and over.
large_log() {
    python3 - "$unix_folder/murl_err.log" <<'PY'
import sys
with open(sys.argv[1], "wb") as log:
    for second in range(30000):
        time = "1/2/2026 %d:%02d:%02d" % (10 + second // 3600, second // 60 % 60, second % 60)
        log.write(("%s\tError in LoadVariables: Overflow. At line 0\r\n" % time).encode())
        if second % 1000 == 0:
            log.write(("%s\tError in SaveVariables: Disk full. At line 0\r\n" % time).encode())
PY
}
# A crash or a power cut while the log was being appended to: the file's length reached the
# disk and its bytes did not. A sparse file of zeros is what Windows then reads.
zeros_after_log() { one_entry_log && truncate -s +400M "$unix_folder/murl_err.log"; }
# The same, and the game played on: Murl appended after the zeros.
zeros_within_log() {
    one_entry_log && truncate -s +50M "$unix_folder/murl_err.log" &&
        printf '1/2/2026 11:00:00\tError in LoadVariables: Overflow. At line 0\r\n' >>"$unix_folder/murl_err.log"
}
rename_log() { mv "$unix_folder/murl_err.log" "$unix_folder/murl_err.damaged.log"; }
# A small drive T: of its own for Murl, installed there by the setup program, and the doctor
# run from it; then filled but for LEAVE KiB. Without the right to mount (77) the case is skipped.
murl_on_small_drive() {  # LEAVE
    local drive="$work/small-drive"
    mkdir -p "$drive"
    mount -t tmpfs -o size=4m tmpfs "$drive" 2>"$work/mount.err" || return 77
    small_drive=$drive
    ln -sfn "$drive" "$WINEPREFIX/dosdevices/t:"
    run "$folder\\uninstall.exe" /S && install "$MURL_SETUP" '/D=T:\Murl' || return 1
    doctor_exe='T:\Murl\murl-doctor.exe'
    fill "$drive" "$1"
}
fill() {  # FOLDER LEAVE: fills the drive of FOLDER but for LEAVE KiB
    local free
    free=$(df -k --output=avail "$1" | tail -1)
    [ "$free" -le "$2" ] || head -c $(((free - $2) * 1024)) /dev/zero >"$1/filler" 2>/dev/null
    [ "$(df -k --output=avail "$1" | tail -1)" -le "$2" ]
}
nearly_full_drive() { murl_on_small_drive 100; }
# A session whose failure (a counter that is not a number, which the session then stores as 0)
# Murl could not write.
failure_lost_on_full_drive() {
    murl_on_small_drive 0 && store_counter_text || return $?
    printf 'init\nidentity2 Kaelen\nidentity1 Emberfall\nlogin\nterminate\n' |
        wine "$MURL_WIN32_SIM" run --plugin com - >/dev/null 2>"$work/sim.err"
    [ -f "$small_drive/Murl/murl_err.log" ] && [ ! -s "$small_drive/Murl/murl_err.log" ]
}
free_small_drive() { rm "$small_drive/filler"; }
leave_small_drive() {
    rm -f "$small_drive/filler"
    run 'T:\Murl\uninstall.exe' /S
    umount "$small_drive"
    rm -f "$WINEPREFIX/dosdevices/t:"
    small_drive=
}
# The trace on, and its folder on a drive with no room left.
trace_drive_full() {
    reg32 add "$trace_key" /v Trace /t REG_DWORD /d 1 /f >/dev/null
    mkdir -p "$(trace_folder)"
    mount -t tmpfs -o size=4m tmpfs "$(trace_folder)" 2>"$work/mount.err" || return 77
    mounted=$(trace_folder)
    fill "$(trace_folder)" 0
}
free_trace_drive() { rm "$(trace_folder)/filler"; }
# The player resets the counts of the character, as the note says.
reset_stats() {
    printf 'init\nidentity2 Kaelen\nidentity1 Emberfall\nlogin\naccept cmdReset\nterminate\n' |
        wine "$MURL_WIN32_SIM" run --plugin com - >/dev/null 2>"$work/sim.err"
}
# Values edited by hand, or written by another program.
store_counter_text() { reg32 add "$settings_key\\KaelenEmberfall" /v Evades /d lots /f >/dev/null; }
store_counter_overflow() { reg32 add "$settings_key\\KaelenEmberfall" /v Zero /d 3000000000 /f >/dev/null; }
store_switch_text() { reg32 add "$settings_key\\Settings" /v Bots /d yes /f >/dev/null; }
store_numbers() {
    reg32 add "$settings_key\\KaelenEmberfall" /v Evades /t REG_DWORD /d 12 /f >/dev/null &&
        reg32 add "$settings_key\\Settings" /v Bots /t REG_DWORD /d 1 /f >/dev/null
}
store_counter_binary() { reg32 add "$settings_key\\KaelenEmberfall" /v Evades /t REG_BINARY /d 0102 /f >/dev/null; }
store_counter_negative() { reg32 add "$settings_key\\KaelenEmberfall" /v Resists /d -3 /f >/dev/null; }
trace_switch_text() { reg32 add "$trace_key" /v Trace /d 1 /f >/dev/null; }
# The trace switched on, and a file where its folder should be.
trace_folder_is_file() {
    reg32 add "$trace_key" /v Trace /t REG_DWORD /d 1 /f >/dev/null
    echo "not a folder" >"$(trace_folder)"
}
remove_trace_folder_file() { rm "$(trace_folder)"; }
# Switched on with the doctor on a fresh account, or after "trace clear": Murl makes the folder.
trace_on_no_folder() { reg32 add "$trace_key" /v Trace /t REG_DWORD /d 1 /f >/dev/null; }
# The account's local application data folder gone (a profile moved or a drive taken away).
trace_local_data_gone() {
    trace_on_no_folder
    mv "$(dirname "$(trace_folder)")" "$work/local-data"
}
restore_local_data() { mv "$work/local-data" "$(dirname "$(trace_folder)")"; }
# An administrator's policy lets this account only read its Software\Murl key.
trace_key_read_only() { wine "$MURL_WIN32_KEY_RIGHTS" 'Software\Murl' read </dev/null; }
restore_trace_key() { wine "$MURL_WIN32_KEY_RIGHTS" 'Software\Murl' full </dev/null; }
# A trace switched off after a session: its file stays.
trace_left_while_off() {
    mkdir -p "$(trace_folder)"
    echo "a session's chat" >"$(trace_folder)/murl_trace.log"
}

doctor_exe=  # the doctor a row runs: the installed one unless the row moves it
doctor() {  # OUTPUT: runs the doctor; its exit status
    wine "${doctor_exe:-$folder\murl-doctor.exe}" "${@:2}" >"$1" 2>"$work/doctor.err" </dev/null
}

# Murl's folder as the doctor must leave it: every name, its size and time, the folder's own
# time (which a file created and deleted again changes) included.
folder_state() { find "$unix_folder" -printf '%P %y %s %T@\n' | sort; }

# Whether the words of $2 are some of the words of $1, in their order, each once.
in_order() {
    local -a all some
    read -ra all <<<"$1"
    read -ra some <<<"$2"
    local id i=0
    for id in "${all[@]}"; do
        [ "$i" -lt "${#some[@]}" ] && [ "${some[$i]}" = "$id" ] && i=$((i + 1))
    done
    [ "$i" = "${#some[@]}" ]
}

case_doctor() {
    local row name make problems words fix status made skipped=0
    # The doctor's checks in report order, from its table (kChecks). A report holds each at most
    # once, in that order; the case table as a whole shows every one of them.
    local checks reported seen=
    checks=$(sed -n '/kChecks\[\] = {/,/^};/p' "$here/../../tools/murl-doctor/report.h" |
        grep -oE '^ *\{"[a-z_]+\.[a-z_]+"' | tr -d ' {"' | paste -sd' ')
    [ -n "$checks" ] || fail "no check read from tools/murl-doctor/report.h"
    # Its areas: a whole report has a row of each, whatever the machine holds.
    local areas
    areas=$(sed -n '/kChecks\[\] = {/,/^};/p' "$here/../../tools/murl-doctor/report.h" |
        grep -oE '^ *\{"[a-z_.]+", "[^"]+"' | sed -E 's/.*, "//; s/"$//' | LC_ALL=C sort -u | paste -sd,)
    for row in "${doctor_cases[@]}"; do
        IFS='|' read -r name make problems words fix <<<"$row"
        [[ $name =~ ${MURL_DOCTOR_ROWS:-.} ]] || continue  # a developer's choice of rows
        start_clean
        rm -rf "$WINEPREFIX/drive_c/"{"Old Murl",Unzipped,Other,"Desktop copy",Murl.v2}
        install "$MURL_SETUP" || fail "$name: the install exited with status $?"
        mounted= holder= game= doctor_exe=
        made=0
        "$make" || made=$?
        if [ "$made" = 77 ]; then
            echo "SKIP: $name: cannot mount here: $(cat "$work/mount.err")"
            skipped=$((skipped + 1))
            continue
        fi
        if [ "$made" != 0 ]; then
            fail "$name: cannot set the case up"
            release_log
            restart_after_game
            [ -z "$small_drive" ] || leave_small_drive
            [ -z "$mounted" ] || unmount
            continue
        fi

        local before
        before=$(folder_state)
        status=0
        doctor "$work/report.txt" || status=$?
        doctor "$work/report.json" --json || true
        expect_equal "$name: Murl's folder after the doctor" "$before" "$(folder_state)"
        # Before any fix: the setup program may well load the file it replaces.
        local ran
        ran=$(find "$WINEPREFIX/drive_c" -name '*.loaded' -printf '%P ')
        expect_equal "$name: modules the doctor ran unverified" "" "$ran"
        if [ -n "$fix" ]; then
            "$fix" || fail "$name: the fix $fix failed"
            local fixed=0
            doctor "$work/fixed.txt" || fixed=$?
            expect_equal "$name: exit status after $fix" 0 "$fixed"
        fi
        release_log
        restart_after_game
        [ -z "$small_drive" ] || leave_small_drive
        [ -z "$mounted" ] || unmount
        [ ! -e "$unix_folder" ] || chmod -R u+w "$unix_folder"
        tr -d '\r' <"$work/report.txt" >"$work/report"
        local wanted_status=1
        [ -z "$problems" ] && wanted_status=0
        expect_equal "$name: exit status" "$wanted_status" "$status"
        grep -qF -- "$words" "$work/report" || fail "$name: the report does not say '$words'"
        expect_equal "$name: the report's last line" \
            "$(jq -r .summary "$work/report.json" 2>/dev/null)" "$(tail -1 "$work/report")"

        jq -e . "$work/report.json" >/dev/null || fail "$name: --json is not JSON to jq"
        python3 -c 'import json, sys; json.load(open(sys.argv[1]))' "$work/report.json" ||
            fail "$name: --json is not JSON to python3"
        reported=$(jq -r '[.checks[].id] | join(" ")' "$work/report.json")
        in_order "$checks" "$reported" ||
            fail "$name: checks twice or out of the order of kChecks: $reported"
        seen+=" $reported "
        expect_equal "$name: the report's areas" "$areas" \
            "$(jq -r '[.checks[].area] | unique | join(",")' "$work/report.json")"
        local out
        for out in report.txt report.json; do
            [ "$(wc -c <"$work/$out")" -lt 20000 ] || fail "$name: $out is not small: $(wc -c <"$work/$out") bytes"
        done
        local found
        found=$(jq -r '[.checks[] | select(.status == "problem") | .id] | unique | join(" ")' \
            "$work/report.json")
        for id in $problems; do
            [[ " $found " == *" $id "* ]] || fail "$name: no problem from $id (problems: $found)"
        done
        expect_equal "$name: problems, each cause once" \
            "$(printf '%s\n' $problems | LC_ALL=C sort -u | paste -sd' ')" "$found"
        jq -e '[.checks[] | select(.status == "problem" and (.action == "" or .found == ""))] | length == 0' \
            "$work/report.json" >/dev/null || fail "$name: a problem without what was found or what to do"
        [ "$failures" = 0 ] || { cat "$work/report"; cat "$work/doctor.err"; }
    done
    rm -rf "$WINEPREFIX/drive_c/Old Murl"
    if [ -z "${MURL_DOCTOR_ROWS:-}" ]; then
        for id in $checks; do
            [[ $seen == *" $id "* ]] || fail "no row of doctor_cases shows the check $id"
        done
    fi

    # The trace switch: the one thing the doctor changes, and only when asked.
    doctor "$work/trace.txt" trace on || fail "trace on exited with status $?"
    expect_equal "the trace switch" "0x1" "$(reg_value 'HKCU\Software\Murl' Trace)"
    doctor "$work/report.txt" || true
    grep -q "trace switch: on (read when the game starts)" "$work/report.txt" || fail "the report does not say the trace is on"
    mkdir -p "$(trace_folder)"
    echo "a session's chat" >"$(trace_folder)/murl_trace.log"
    doctor "$work/trace.txt" trace off || fail "trace off exited with status $?"
    expect_equal "the trace switch" "0x0" "$(reg_value 'HKCU\Software\Murl' Trace)"
    grep -q 'murl_trace.log (17 bytes).*"murl-doctor trace clear" deletes them' "$work/trace.txt" ||
        fail "trace off does not say where the trace file is and how to delete it: $(cat "$work/trace.txt")"
    doctor "$work/trace.txt" trace clear || fail "trace clear exited with status $?"
    [ ! -e "$(trace_folder)" ] || fail "trace clear left $(ls -A "$(trace_folder)")"
    grep -q '^Deleted: .*murl_trace.log' "$work/trace.txt" || fail "trace clear says: $(cat "$work/trace.txt")"
    doctor "$work/trace.json" --json trace on || fail "--json trace on exited with status $?"
    jq -e '.ok == true and (.message | startswith("The trace is on"))' "$work/trace.json" >/dev/null ||
        fail "--json trace on does not answer in JSON: $(cat "$work/trace.json")"
    doctor "$work/trace.txt" trace off || true
    # Nothing to clear is no failure, and a trace that cannot be written is not switched on.
    doctor "$work/trace.txt" trace clear || fail "trace clear of nothing exited with status $?"
    grep -q '^There was no trace file to delete' "$work/trace.txt" || fail "trace clear of nothing says: $(cat "$work/trace.txt")"
    echo "not a folder" >"$(trace_folder)"
    usage=0
    doctor "$work/trace.txt" trace on || usage=$?
    expect_equal "exit status of trace on with a file for its folder" 1 "$usage"
    tr -d '\r' <"$work/trace.txt" >"$work/trace"
    grep -q '^The trace was not switched on: .* is a file, not a folder. To do: delete or rename the file' "$work/trace" ||
        fail "trace on with a file for its folder says: $(cat "$work/trace")"
    expect_equal "the trace switch after a refused trace on" "0x0" "$(reg_value 'HKCU\Software\Murl' Trace)"
    doctor "$work/trace.txt" trace clear || fail "trace clear with a file for its folder exited with status $?"
    [ -f "$(trace_folder)" ] || fail "trace clear deleted the file in the trace folder's place"
    rm -f "$(trace_folder)"
    # Where this account may not store the switch, the report proposes no "trace on", and
    # "trace on" says why and what to do.
    trace_key_read_only || fail "cannot take the right to change HKCU\Software\Murl"
    doctor "$work/report.txt" || true
    grep -q 'murl-doctor trace on' "$work/report.txt" &&
        fail "the report proposes trace on where the switch cannot be stored: $(cat "$work/report.txt")"
    usage=0
    doctor "$work/trace.txt" trace on || usage=$?
    restore_trace_key
    expect_equal "exit status of trace on where the switch cannot be stored" 1 "$usage"
    tr -d '\r' <"$work/trace.txt" >"$work/trace"
    grep -q '^The trace was not switched on: the trace switch cannot be stored in HKEY_CURRENT_USER\\Software\\Murl: .* To do: sign in to Windows as the account that plays the game, or ask whoever looks after this computer' "$work/trace" ||
        fail "trace on where the switch cannot be stored says: $(cat "$work/trace")"

    # Mistakes on the command line: plain words and the usage, exit status 2.
    local mistake line words2 usage
    for mistake in "trace maybe|or its files cleared with \"clear\", not \"maybe\"" \
        "trace|say whether to switch the trace on or off" \
        "--bogus|murl-doctor does not know \"--bogus\"" "trace on off|does not know \"off\""; do
        IFS='|' read -r line words2 <<<"$mistake"
        usage=0
        # shellcheck disable=SC2086 # the words of the command line
        doctor "$work/usage.txt" $line || usage=$?
        tr -d '\r' <"$work/usage.txt" >"$work/usage"
        expect_equal "exit status of \"$line\"" 2 "$usage"
        grep -qF -- "$words2" "$work/usage" || fail "\"$line\" does not say '$words2': $(cat "$work/usage")"
        grep -q "^usage: murl-doctor" "$work/usage" || fail "\"$line\" does not show the usage"
    done
    usage=0
    doctor "$work/usage.json" --json trace maybe || usage=$?
    expect_equal "exit status of --json trace maybe" 2 "$usage"
    jq -e '.ok == false and (.usage | contains("trace on|off"))' "$work/usage.json" >/dev/null ||
        fail "--json trace maybe does not answer in JSON: $(cat "$work/usage.json")"
    reg32 delete 'HKCU\Software\Murl' /f >/dev/null || true
    if [ "$skipped" != 0 ] && [ "$failures" = 0 ]; then
        echo "skipped: $skipped case(s) of the doctor's table could not be set up here"
        exit 77
    fi
}

declare -F "case_${1:-}" >/dev/null || { echo "usage: $0 install|upgrade|uninstall|failed_registration|failed_copy|remove_settings|doctor"; exit 2; }
"case_$1"
if [ "$failures" != 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "ok"
