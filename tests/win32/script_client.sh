#!/bin/sh
# script_client.sh PREFIX BIN: a script host, a client nobody here wrote, creates the plug-in by
# its ProgID and names it by its type information; once murl.dll is unregistered, the same
# script reports that it cannot create it. The host swallows a script's errors and exits 0, so
# each run is judged by what the script printed and by the status the script set itself.
set -u
prefix=$1
bin=$2
here=$(cd "$(dirname "$0")" && pwd)
run="sh $here/../../cmake/wine-run.sh $prefix"
cd "$bin" || exit 1
cp "$here/typename.vbs" typename.vbs
failures=0
# WHAT STATUS OUTPUT: the script exits with STATUS, and prints OUTPUT (a shell pattern).
expect_script() {
    output=$($run cscript //nologo typename.vbs)
    status=$?
    output=$(printf '%s' "$output" | tr -d '\r')
    echo "$1: status $status, printed: $output"
    # shellcheck disable=SC2254
    case $output in
        $3) [ "$status" -eq "$2" ] && return 0 ;;
    esac
    echo "FAILED: $1: expected status $2 and output '$3'"
    failures=$((failures + 1))
}
$run regsvr32 /s murl.dll || { echo "FAILED: regsvr32 murl.dll"; exit 1; }
expect_script registered 0 _clsMurl
$run regsvr32 /s /u murl.dll || { echo "FAILED: regsvr32 /u murl.dll"; exit 1; }
expect_script unregistered 2 'cannot create murl.clsMurl: error *'
rm -f typename.vbs
[ "$failures" -eq 0 ]
