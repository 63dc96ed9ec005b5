#!/usr/bin/env bash
# Stands in for murl-sim in the scenario corpus's runner (tests/scenarios/run_scenario.sh) and
# plays the Windows murl-sim.exe under Wine instead, in one of two ways:
#
#   MURL_WIN32_MODE=builtin   the plug-in core linked into murl-sim.exe
#   MURL_WIN32_MODE=com       murl.dll through COM (--plugin com --dll)
#
# The runner's --store file becomes the registry store, emptied when a scenario starts (a
# marker beside the store file tells). In COM mode murl.dll keeps its error log beside itself:
# the DLL is run from a folder next to the module folder, and a log it wrote is moved into the
# module folder afterwards with its time stamps set to the runner's fixed clock, which the DLL
# does not take.
#
# Environment: MURL_WINE_PREFIX, MURL_WIN32_BIN (the folder of murl.dll), MURL_WIN32_SIM
# (murl-sim.exe), MURL_WIN32_MODE.
set -euo pipefail

export WINEPREFIX=$MURL_WINE_PREFIX
. "$(dirname "$0")/../../cmake/wine-env.sh"
exe=$MURL_WIN32_SIM
mode=${MURL_WIN32_MODE:-builtin}

windows_path() {  # Wine maps drive Z: to the root of the Linux file system.
    local path
    path=$(realpath -m "$1")
    printf 'Z:%s' "${path//\//\\}"
}

# Paths become Windows paths: a leading / would read as an option there.
args=()
store="" module="" clock=""
while [ $# -gt 0 ]; do
    case $1 in
        --store) store=$2; shift 2 ;;
        --module-dir) module=$2; shift 2 ;;
        --clock) clock=$2; shift 2 ;;
        /*) args+=("$(windows_path "$1")"); shift ;;
        *) args+=("$1"); shift ;;
    esac
done

if [ -n "$store" ] && [ ! -e "$store.registry" ]; then
    wine reg delete 'HKCU\Software\VB and VBA Program Settings\Murl' /f >/dev/null 2>&1 || true
    : >"$store.registry"
fi

if [ "${args[0]}" != run ] || [ "${args[1]:-}" = --help ]; then
    exec wine "$exe" "${args[@]}"
fi

if [ "$mode" = builtin ]; then
    exec wine "$exe" run --module-dir "$(windows_path "$module")" --clock "$clock" "${args[@]:1}"
fi

dll_dir="$(dirname "$module")/com-module"
mkdir -p "$dll_dir"
cp "$MURL_WIN32_BIN/murl.dll" "$dll_dir/murl.dll"
rm -f "$dll_dir/murl_err.log"
status=0
wine "$exe" run --plugin com --dll "$(windows_path "$dll_dir/murl.dll")" "${args[@]:1}" || status=$?
if [ -f "$dll_dir/murl_err.log" ]; then
    sed -E "s/^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\t/$clock\t/" \
        "$dll_dir/murl_err.log" >"$module/murl_err.log"
fi
exit $status
