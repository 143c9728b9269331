#!/usr/bin/env bash
# Speed measurements (not run by CI): the Google Benchmark programs of benchmarks/, then the CPU time of the
# whole program's silent update of 16 bridges on a bench folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh libbenchmark-dev time
cmake --preset benchmarks >/dev/null
cmake --build --preset benchmarks
build/benchmarks/benchmarks/update_benchmark "$@"

# The program itself: process CPU time of a silent update of 16 bridges (bench work included).
cmake --preset default >/dev/null
cmake --build --preset default --target KRV610xFWUpg quibbench
work=$(mktemp -d /tmp/quib-timing.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tool"
cp build/default/frontend/KRV610xFWUpg "$work/tool/"
for run in 1 2 3; do
    build/default/tools/quibbench create "$work/bench" --bridges 16 >/dev/null
    /usr/bin/time -f "silent update of 16 bridges: %U s user, %S s system, %e s elapsed, %M KB peak" \
        env QUIB_BENCH="$work/bench" "$work/tool/KRV610xFWUpg" /S
done
