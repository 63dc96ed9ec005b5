# shellcheck shell=bash
# Sourced by the shell tests here: strict mode, a scratch folder $work removed on exit, and a
# count of failures that fail adds to and finish reports.
set -uo pipefail

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# fail MESSAGE...: reports one failure.
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# finish: exits 1 when anything failed.
finish() {
    if [ "$failures" != 0 ]; then
        echo "$failures failure(s)" >&2
        exit 1
    fi
}
