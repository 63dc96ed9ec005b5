#!/usr/bin/env bash
# Builds the native tree with AddressSanitizer and UndefinedBehaviorSanitizer (the "sanitize"
# preset) and runs the native test suite under them. The Windows build and its tests under
# Wine are left out: they test the cross-compiled DLL, which these sanitizers do not reach.
#
#   SANITIZE_BUILD_DIR  build folder (default: the preset's, build/sanitize)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${SANITIZE_BUILD_DIR:-build/sanitize}

cmake --preset sanitize -B "$build" -DMURL_WINE_TESTS=OFF
cmake --build "$build" -- -j2
# detect_leaks: the tests must not leak either; halt_on_error: the first report fails the test.
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:strict_string_checks=1} \
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    ctest --test-dir "$build" -j2 --output-on-failure
