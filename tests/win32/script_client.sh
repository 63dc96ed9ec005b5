#!/bin/sh
# script_client.sh PREFIX BIN: a script host, a client nobody here wrote, creates the plug-in by
# its ProgID and names it by its type information. Registers murl.dll for the run and removes
# it again.
set -u
prefix=$1
bin=$2
here=$(cd "$(dirname "$0")" && pwd)
run="sh $here/../../cmake/wine-run.sh $prefix"
cd "$bin" || exit 1
cp "$here/typename.vbs" typename.vbs
$run regsvr32 /s murl.dll || { echo "FAILED: regsvr32 murl.dll"; exit 1; }
output=$($run cscript //nologo typename.vbs)
status=$?
$run regsvr32 /s /u murl.dll || { echo "FAILED: regsvr32 /u murl.dll"; exit 1; }
rm -f typename.vbs
output=$(printf '%s' "$output" | tr -d '\r')
echo "TypeName: $output"
[ "$status" -eq 0 ] && [ "$output" = "_clsMurl" ]
