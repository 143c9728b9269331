#!/usr/bin/env bash
# Runs each libFuzzer target for a while (default 60 s each; pass another number of seconds). Not run by CI.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
bash scripts/install-deps.sh clang libclang-rt-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target image_name_fuzz command_line_fuzz bench_description_fuzz cyacd_fuzz intel_hex_fuzz \
    bot_device_fuzz quibbench
# The image parsers start from one well-formed file each.
mkdir -p build/fuzz/corpus/cyacd_fuzz build/fuzz/corpus/intel_hex_fuzz
build/fuzz/tools/quibbench image --kind cyacd --pd-kind 4 --rows 2 --out build/fuzz/corpus/cyacd_fuzz/seed.cyacd
build/fuzz/tools/quibbench image --kind mcu-hex --size 40 --out build/fuzz/corpus/intel_hex_fuzz/seed.hex
for target in image_name_fuzz command_line_fuzz bench_description_fuzz cyacd_fuzz intel_hex_fuzz bot_device_fuzz; do
    corpus=build/fuzz/corpus/$target
    mkdir -p "$corpus"
    echo "== $target"
    build/fuzz/tests/fuzz/$target -max_total_time="$seconds" -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
done
