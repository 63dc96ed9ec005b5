#!/usr/bin/env bash
# Format and static-analysis checks: every tracked C++ file must be clang-format clean, and the
# native sources clean under the project's clang-tidy checks. Needs the compile database of a
# native build: build/native (scripts/test.sh configures it first) or, when that has none,
# build/native-quick (`cmake --preset native-quick` writes it).
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t cxx < <(git ls-files '*.cpp' '*.h' '*.inl')
echo "clang-format: ${#cxx[@]} files"
clang-format-14 --dry-run -Werror "${cxx[@]}"

# Sources compiled by the native build, then the Win32-only ones.
win32_only='(^src/(server|platform/win32)/|^tools/murl-doctor/(main|system_text|[a-z_]+_checks)\.cpp|msxml|com_(binding|connection_point|host_face)|machine_win32)'
mapfile -t native < <(git ls-files 'src/*.cpp' 'tools/*.cpp' | grep -v -E "$win32_only")
native_db=build/native
[[ -f $native_db/compile_commands.json ]] || native_db=build/native-quick
if [[ ! -f $native_db/compile_commands.json ]]; then
    echo "clang-tidy: no compile database; configure build/native or build/native-quick first" >&2
    exit 1
fi
echo "clang-tidy: ${#native[@]} files, through $native_db"
printf '%s\n' "${native[@]}" | xargs -P 2 -n 4 clang-tidy-14 -p "$native_db" --quiet 2>/dev/null

# The Win32-only sources through the MinGW build's compile database, which the native build's
# Windows sub-build writes. Clang reads them for the MinGW target with MinGW's C++ and Windows
# headers; the headers widl generates into the build folder are not ours to check.
win32_db=build/native/win32
if [[ ! -f $win32_db/compile_commands.json ]] || ! command -v i686-w64-mingw32-g++ >/dev/null; then
    echo "clang-tidy (Win32): skipped, no MinGW build in $win32_db"
    exit 0
fi
mapfile -t win32 < <(git ls-files 'src/*.cpp' 'tools/*.cpp' | grep -E "$win32_only")
mingw_args=(--extra-arg=--target=i686-w64-mingw32)
while read -r dir; do
    mingw_args+=("--extra-arg=-isystem$(realpath "$dir")")
done < <(i686-w64-mingw32-g++ -x c++ -E -v /dev/null 2>&1 >/dev/null |
         sed -n '/^#include <...>/,/^End of search/s/^ //p' | grep -E '/c\+\+|mingw32/include$')
echo "clang-tidy (Win32): ${#win32[@]} files"
printf '%s\n' "${win32[@]}" | xargs -P 2 -n 4 clang-tidy-14 -p "$win32_db" --quiet \
    --header-filter="^$PWD/(src|tools|tests)/" "${mingw_args[@]}" 2>/dev/null
