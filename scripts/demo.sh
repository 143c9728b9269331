#!/usr/bin/env bash
# Demo on an emulated bench: creates a bench with two bridges, then runs the program's firmware version
# check and its USB connection status query on it, and shows what the bench saw.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target KRV610xFWUpg quibbench

build=build/default
demo=$(mktemp -d /tmp/quib-demo.XXXXXX)
mkdir -p "$demo/tool"
cp "$build/frontend/KRV610xFWUpg" "$demo/tool/"
"$build/tools/quibbench" create "$demo/bench" --bridges 2

run() {
    local what=$1
    shift
    echo
    echo "# $what"
    echo "\$ KRV610xFWUpg $*"
    set +e
    QUIB_BENCH="$demo/bench" "$demo/tool/KRV610xFWUpg" "$@"
    local code=$?
    set -e
    # The process exit code is the signed result modulo 256.
    echo "exit code: $code (signed: $(( code > 127 ? code - 256 : code )))"
}

run "Does a bridge run firmware 12042391F000? (0 = yes)" /S /C:12042391F000 /DBG:3
run "Does a bridge run firmware 131112910000? (-3 = no)" /S /C:131112910000
run "USB connection speed of the first bridge (8 = super speed)" /S /D
echo
echo "# What the program logged during the version checks:"
grep -E "Firmware Version Check|QUIB_DEVICE_NOT_FOUND" "$demo/bench/debug.log" | tail -n 4
echo
"$build/tools/quibbench" show "$demo/bench"
echo
echo "The bench folder, with its log (debug.log) and command trace, is kept at: $demo/bench"
