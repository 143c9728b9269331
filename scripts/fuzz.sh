#!/usr/bin/env bash
# Runs each libFuzzer target, starting from its kept corpus (tests/fuzz/corpus/<target>). Not run by CI.
#   bash scripts/fuzz.sh [seconds]          each target for a while (default 60 s)
#   bash scripts/fuzz.sh --runs N           each target for N executions
#   bash scripts/fuzz.sh --keep ...         afterwards, merge what the runs found into the kept corpus
set -euo pipefail
cd "$(dirname "$0")/.."
limit=(-max_total_time=60)
keep=0
while (($#)); do
    case "$1" in
        --runs) limit=(-runs="$2"); shift 2 ;;
        --keep) keep=1; shift ;;
        *) limit=(-max_total_time="$1"); shift ;;
    esac
done
targets=(image_name_fuzz command_line_fuzz bench_description_fuzz cyacd_fuzz intel_hex_fuzz bot_device_fuzz)
bash scripts/install-deps.sh clang libclang-rt-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${targets[@]}"
for target in "${targets[@]}"; do
    kept=tests/fuzz/corpus/$target
    work=build/fuzz/corpus/$target
    mkdir -p "$work"
    cp -n "$kept"/* "$work"/ 2>/dev/null || true
    # The transport target keeps its bench from run to run: memory it holds between inputs is no leak,
    # and the leak checks that libFuzzer would run after such inputs would take most of its time.
    extra=()
    [ "$target" = bot_device_fuzz ] && extra=(-detect_leaks=0)
    echo "== $target"
    build/fuzz/tests/fuzz/$target "${limit[@]}" "${extra[@]}" -rss_limit_mb=4096 -print_final_stats=1 "$work" 2>&1 |
        tail -n 12
    if ((keep)); then
        build/fuzz/tests/fuzz/$target -merge=1 "$kept" "$work" 2>&1 | tail -n 1
    fi
done
