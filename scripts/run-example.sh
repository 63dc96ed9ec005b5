#!/usr/bin/env bash
# Installs what is missing, builds the simulator and plays the example hunting session against
# the plug-in, with a fresh settings store and module folder. Extra arguments go to `murl-sim run`
# (for example --json).
set -euo pipefail
cd "$(dirname "$0")/.."

# The native packages only, and the configuration that looks for no Windows tool: the example
# needs none of them.
MURL_NATIVE_ONLY=1 bash scripts/install-deps.sh
cmake --preset native-quick >/dev/null
cmake --build --preset native-quick -j2 --target murl-sim >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sim=build/native-quick/tools/murl-sim/murl-sim
"$sim" run --store "$work/settings.sqlite" --module-dir "$work" "$@" examples/hunting-session.scenario

echo
echo "== settings store after the session"
"$sim" settings list --store "$work/settings.sqlite"
echo
echo "== error log (murl_err.log)"
if [ -s "$work/murl_err.log" ]; then cat "$work/murl_err.log"; else echo "(empty)"; fi
