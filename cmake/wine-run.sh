#!/bin/sh
# wine-run.sh PREFIX PROGRAM [ARGS...]: runs a Windows program under Wine in PREFIX, creating
# the prefix first when it is missing. Wine's background processes inherit a log file rather
# than our standard output, so a caller waiting for end-of-output is not held up by them.
set -u
prefix=$1
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=${WINE:-wine}
if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    "$wine" wineboot -i >"$prefix/wineboot.log" 2>&1 </dev/null || {
        cat "$prefix/wineboot.log" >&2
        exit 1
    }
fi
log=$(mktemp)
"$wine" "$@" >"$log" 2>&1 </dev/null
status=$?
cat "$log"
rm -f "$log"
exit $status
