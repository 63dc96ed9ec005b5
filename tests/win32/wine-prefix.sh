#!/bin/sh
# wine-prefix.sh create|remove PREFIX: a fresh Wine prefix for one test run, and its removal.
set -eu
action=$1
prefix=$2
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ -d "$prefix" ]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
fi
[ "$action" = remove ] && exit 0
mkdir -p "$prefix"
wine wineboot -i >"$prefix/wineboot.log" 2>&1 </dev/null
wineserver -w
echo "Wine prefix ready: $prefix"
