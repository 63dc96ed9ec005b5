#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer on)
# and fuzzes each for a bounded time on a copy of its seed corpus and regression inputs.
# Exits non-zero on a finding; the input that broke an invariant is saved under
# <build>/fuzz-run/<target>/findings/ and named in the output.
#
#   FUZZ_SECONDS   time per target (default 60)
#   FUZZ_BUILD_DIR build folder (default build/fuzz)
#   FUZZ_TARGETS   targets to run (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
build=${FUZZ_BUILD_DIR:-build/fuzz}
read -r -a targets <<< "${FUZZ_TARGETS:-chat_filter utf16_search conversions scenario_parser}"

declare -A options=(
    [chat_filter]="-max_len=16384 -dict=fuzz/chat_filter.dict -entropic_scale_per_exec_time=1"
    [utf16_search]="-max_len=512"
    [conversions]="-max_len=512"
    [scenario_parser]="-max_len=2048 -dict=fuzz/scenario_parser.dict"
)

mkdir -p "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DMURL_FUZZ=ON -DMURL_WINE_TESTS=OFF > "$build/configure.log" 2>&1 \
    || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" --target fuzz_targets -- -j2

status=0
for target in "${targets[@]}"; do
    work="$build/fuzz-run/$target"
    rm -rf "$work"
    mkdir -p "$work/corpus" "$work/findings"
    cp fuzz/corpus/"$target"/* "$work/corpus/"
    if [ -d fuzz/regressions/"$target" ]; then cp fuzz/regressions/"$target"/* "$work/corpus/"; fi

    echo "fuzz_$target: ${seconds}s"
    # shellcheck disable=SC2086 # the options are words
    if "$build/fuzz/fuzz_$target" ${options[$target]} -timeout=20 -max_total_time="$seconds" \
           -print_final_stats=1 -artifact_prefix="$work/findings/" "$work/corpus" > "$work/log" 2>&1; then
        echo "  $(grep -h 'stat::number_of_executed_units' "$work/log" | awk '{print $2}') executions, no finding"
    else
        status=1
        tail -n 60 "$work/log"
        echo "  FINDING in fuzz_$target: $(ls "$work/findings")"
    fi
done
exit $status
