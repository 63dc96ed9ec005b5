#!/usr/bin/env bash
# Format and static-analysis checks: every tracked C++ file must be clang-format clean, and the
# native sources clean under the project's clang-tidy checks. Needs build/native (for
# compile_commands.json); scripts/test.sh configures it first.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t cxx < <(git ls-files '*.cpp' '*.h' '*.inl')
echo "clang-format: ${#cxx[@]} files"
clang-format-14 --dry-run -Werror "${cxx[@]}"

# Sources compiled by the native build; the Win32-only ones are checked by the MinGW compiler.
mapfile -t native < <(git ls-files 'src/*.cpp' 'tools/*.cpp' | grep -v -E '(^src/(server|platform/win32)/|msxml|com_binding|machine_win32)')
echo "clang-tidy: ${#native[@]} files"
printf '%s\n' "${native[@]}" | xargs -P 2 -n 4 clang-tidy-14 -p build/native --quiet 2>/dev/null
