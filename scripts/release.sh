#!/usr/bin/env bash
# release.sh [BUILD_DIR [CMAKE_ARGS...]]: builds the Windows release of this checkout into
# BUILD_DIR (build/release by default): murl-VERSION-setup.exe, murl-VERSION-win32.zip and
# SHA256SUMS. Only murl.dll, murl-doctor.exe and what they need are built. Two runs for one commit give the same
# bytes in any folder, at any time: the packages carry the last commit's time (or
# SOURCE_DATE_EPOCH when set) and nothing of the machine or the folders.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build/release}
shift || true

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct 2>/dev/null) || {
        echo "release.sh: $src is not a git checkout; set SOURCE_DATE_EPOCH to the release's time" >&2
        exit 2
    }
    if [ -n "$(git -C "$src" status --porcelain --untracked-files=no)" ]; then
        echo "release.sh: warning: the working tree has uncommitted changes; they go into this build" >&2
    fi
fi
export SOURCE_DATE_EPOCH

cmake -S "$src" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DMURL_BUILD_TESTS=OFF "$@" >/dev/null
cmake --build "$build" --target release
echo "release.sh: the release is in $build:"
(cd "$build" && cat SHA256SUMS)
