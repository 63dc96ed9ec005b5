#!/bin/sh
# wine-prefix.sh create|remove PREFIX: a fresh Wine prefix for one test run, and its removal.
# A failed creation prints wineboot's log: the prefix it was written into is removed with the
# run.
set -u
action=$1
prefix=$2
export WINEPREFIX="$prefix"
. "$(dirname "$0")/../../cmake/wine-env.sh"
if [ -d "$prefix" ]; then
    # The old prefix's server is gone before its folder is.
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    rm -rf "$prefix"
fi
[ "$action" = remove ] && exit 0
mkdir -p "$prefix" || exit 1
log=$prefix/wineboot.log
status=0
wine wineboot -i >"$log" 2>&1 </dev/null || status=$?
[ "$status" -eq 0 ] && { wineserver -w >>"$log" 2>&1 || status=$?; }
if [ "$status" -ne 0 ] || [ ! -f "$prefix/system.reg" ]; then
    echo "wine-prefix.sh: creating the Wine prefix $prefix failed (status $status); wineboot's log:"
    cat "$log"
    exit 1
fi
echo "Wine prefix ready: $prefix"
