#!/usr/bin/env bash
# rebuild_release.sh SOURCE RELEASE_DIR WORK [CMAKE_ARGS...]: builds the release of SOURCE again
# as someone checking it would, from a copy of the tree in another folder, into another build
# folder, later, under another umask, locale and time zone, without a compiler cache, and
# compares murl.dll and every file of the release in RELEASE_DIR with the rebuild's, byte for
# byte. On a difference it prints diffoscope's account of the first one and keeps WORK.
set -uo pipefail
source_dir=$1 release_dir=$2 work=$3
shift 3

[ -f "$release_dir/SHA256SUMS" ] || { echo "FAIL: no release in $release_dir (SHA256SUMS missing)"; exit 1; }
# The files the release is made of: the programs it installs, where the build writes them, and
# the packages its checksum list names (it names the installed programs too).
mapfile -t packages < <(awk '$2 != "murl.dll" && $2 != "murl-doctor.exe" { print $2 }' \
    "$release_dir/SHA256SUMS")
artefacts=(bin/murl.dll bin/murl-doctor.exe SHA256SUMS "${packages[@]}")

# The one time the release carries comes from the original checkout; the copy has no history.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct) || {
        echo "FAIL: $source_dir is not a git checkout and SOURCE_DATE_EPOCH is not set"
        exit 1
    }
fi
export SOURCE_DATE_EPOCH

rm -rf "$work"
mkdir -p "$work"
tree=$(mktemp -d "$work/tree.XXXXXX")
if git -C "$source_dir" rev-parse --git-dir >/dev/null 2>&1; then
    # The tracked files as they are now, and new ones not ignored: what the first build saw.
    (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
        tar --null --ignore-failed-read -T - -cf -) | tar -xf - -C "$tree"
else
    (cd "$source_dir" && tar --exclude=./build -cf - .) | tar -xf - -C "$tree"
fi

# Another moment, another umask, locale and time zone (fourteen hours ahead of UTC), and every
# object really compiled: a cache that ignores the folder could hide a path in the code.
sleep 1
export CCACHE_DISABLE=1 TZ=LINT-14
if [ "${LC_ALL:-}" = C ]; then export LC_ALL=C.UTF-8; else export LC_ALL=C; fi
build=$work/build
(umask 077 && bash "$tree/scripts/release.sh" "$build" "$@") >"$work/release.log" 2>&1 || {
    echo "FAIL: the rebuild failed:"
    tail -40 "$work/release.log"
    exit 1
}

status=0
for name in "${artefacts[@]}"; do
    if cmp -s "$release_dir/$name" "$build/$name"; then
        echo "same: $name"
        continue
    fi
    echo "FAIL: $name differs between $release_dir and the rebuild in $build"
    if [ "$status" = 0 ] && command -v diffoscope >/dev/null; then
        timeout 300 diffoscope --no-progress --text - "$release_dir/$name" "$build/$name" 2>&1 |
            head -60
    fi
    status=1
done
[ "$status" = 0 ] && rm -rf "$work"
exit $status
