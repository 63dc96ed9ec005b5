#!/bin/sh
# registration.sh PREFIX BIN: regsvr32 records exactly murl's entries and regsvr32 /u leaves
# none of them behind. Runs in a prefix where nothing of murl's was registered yet.
set -u
prefix=$1
bin=$2
run="sh $(cd "$(dirname "$0")/../../cmake" && pwd)/wine-run.sh $prefix"
step() {
    echo "== $*"
    "$@" || { echo "FAILED: $*"; exit 1; }
}
cd "$bin" || exit 1
step $run server_tests.exe registry_absent
step $run regsvr32 /s murl.dll
step $run server_tests.exe registry_present
# A TreatAs under the class sends every creation to the class it names (here none), and an
# AutoTreatAs is what a reset of that writes back: registering again takes both away.
class='HKCR\CLSID\{37DEF914-A323-49FA-B948-3D0EF05E737F}'
for key in TreatAs AutoTreatAs; do
    step $run reg add "$class\\$key" /ve /d '{0BADC1A5-0000-4000-8000-000000000001}' /f /reg:32
done
step $run regsvr32 /s murl.dll
step $run server_tests.exe registry_present
if $run reg query "$class\AutoTreatAs" /reg:32 >/dev/null 2>&1; then
    echo "FAILED: registering left $class\AutoTreatAs"
    exit 1
fi
step $run regsvr32 /s /u murl.dll
step $run server_tests.exe registry_absent
# Removing what is already gone succeeds: a second time, and with the type library's key
# removed by hand.
step $run regsvr32 /s /u murl.dll
step $run server_tests.exe registry_absent
step $run regsvr32 /s murl.dll
step $run reg delete 'HKCR\TypeLib\{A18570E7-CE38-41EE-881A-CC291C6A3A0F}' /f
step $run regsvr32 /s /u murl.dll
step $run server_tests.exe registry_absent
echo "registration and unregistration as expected"
