#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the native suite (with the
# Windows build and its tests under Wine), the format and static-analysis checks, the native
# suite again under AddressSanitizer and UndefinedBehaviorSanitizer, and a bounded fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake --preset native
cmake --build --preset native -j2
ctest --preset native -j2

bash scripts/lint.sh
bash scripts/sanitize.sh
FUZZ_SECONDS=${FUZZ_SECONDS:-60} bash scripts/fuzz.sh
