#!/bin/sh
# wine-run.sh PREFIX PROGRAM [ARGS...]: runs a Windows program under Wine in PREFIX, creating
# the prefix first when it is missing. Wine's background processes inherit a log file rather
# than our standard output, so a caller waiting for end-of-output is not held up by them.
#
# With MURL_WINE_HEAP_CHECK=1, Wine checks the heap (freed memory is filled, so a use after
# free faults) and the run fails when Wine reports a page fault or a heap problem, whatever
# the program's own status.
set -u
prefix=$1
shift
debug=-all
if [ "${MURL_WINE_HEAP_CHECK:-0}" = 1 ]; then
    debug=-all,err+heap,warn+heap
fi
export WINEPREFIX="$prefix"
. "$(dirname "$0")/wine-env.sh"
export WINEDEBUG="$debug"
wine=${WINE:-wine}
if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    WINEDEBUG=-all "$wine" wineboot -i >"$prefix/wineboot.log" 2>&1 </dev/null || {
        cat "$prefix/wineboot.log" >&2
        exit 1
    }
fi
log=$(mktemp)
"$wine" "$@" >"$log" 2>&1 </dev/null
status=$?
cat "$log"
if [ "$debug" != -all ] && grep -Eq 'page fault|:heap:' "$log"; then
    echo "wine-run.sh: Wine reported a page fault or a heap problem" >&2
    [ "$status" -ne 0 ] || status=1
fi
rm -f "$log"
exit $status
