#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer in build-fuzz/ and runs one of them for a
# while, growing its corpus in build-fuzz/corpus/TARGET (the checked-in seeds stay as they are).
# Usage: scripts/fuzz.sh TARGET SECONDS   (TARGET: comma_text, conversions, schedule_reply,
#        settings_file, reply_reader, outlet_reading, ranges, fence_input, shell_lines,
#        schedule_document, request_target, web_config, mqtt_reply). Crashing inputs land in
#        build-fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: scripts/fuzz.sh TARGET SECONDS}
seconds=${2:?usage: scripts/fuzz.sh TARGET SECONDS}
[ -d "fuzz/corpus/$target" ] || { echo "no fuzz target named $target" >&2; exit 2; }

bash scripts/install-deps.sh fuzz

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQDL_FUZZ=ON >/dev/null
cmake --build build-fuzz -j2 --target "fuzz_$target"

mkdir -p "build-fuzz/corpus/$target" build-fuzz/crashes
"build-fuzz/fuzz/fuzz_$target" "build-fuzz/corpus/$target" "fuzz/corpus/$target" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix=build-fuzz/crashes/"$target"-
