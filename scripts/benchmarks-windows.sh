#!/usr/bin/env bash
# The version check over 16 bench bridges ("/S /C:12042391F000"), the Linux program against the x64 Windows
# program under Wine, in one run (not run by CI). Whole runs of the program: loading, writing and removing
# its packaged files, the library, the scan of 16 bridges and the version compare; under Wine the process
# start of Wine itself is included, measured separately on a program that does nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10}
cmake --preset default >/dev/null
cmake --build --preset default --target KRV610xFWUpg quibbench
bash scripts/windows.sh demo >/dev/null  # builds build/windows-x64 and readies the Wine prefix
work=$(mktemp -d /tmp/quib-winbench.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/linux" "$work/windows"
cp build/default/frontend/KRV610xFWUpg "$work/linux/"
cp build/windows-x64/frontend/KRV610xFWUpg.exe "$work/windows/"
build/default/tools/quibbench create "$work/bench" --bridges 16 >/dev/null
wine_bench=$(winepath -w "$work/bench" 2>/dev/null)

timed() {  # timed <label> <command...>: mean and best wall time over the runs
    local label=$1; shift
    local total=0 best=999999999 start end ms code
    for ((i = 0; i < runs; i++)); do
        start=$(date +%s%N)
        set +e; "$@" >/dev/null 2>&1; code=$?; set -e
        end=$(date +%s%N)
        ms=$(( (end - start) / 1000000 ))
        total=$((total + ms)); ((ms < best)) && best=$ms
    done
    printf '%-58s mean %6d ms, best %6d ms (exit code %d)\n' "$label" $((total / runs)) "$best" "$code"
}

wineserver -p 2>/dev/null || true  # keep Wine's server up between runs, as on a machine that runs programs
timed "Linux: KRV610xFWUpg /S /C:12042391F000, 16 bridges" \
    env -C "$work/linux" QUIB_BENCH="$work/bench" ./KRV610xFWUpg /S /C:12042391F000
timed "Wine x64: KRV610xFWUpg.exe /S /C:12042391F000, 16 bridges" \
    env -C "$work/windows" QUIB_BENCH="$wine_bench" "$PWD/scripts/wine-run.sh" ./KRV610xFWUpg.exe /S /C:12042391F000
timed "Wine x64: starting a program that does nothing (cmd /c rem)" \
    scripts/wine-run.sh cmd /c rem
