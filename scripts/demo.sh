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
    echo
    echo "\$ KRV610xFWUpg $*"
    set +e
    QUIB_BENCH="$demo/bench" "$demo/tool/KRV610xFWUpg" "$@"
    local code=$?
    set -e
    # The process exit code is the signed result modulo 256.
    echo "exit code: $code (signed: $(( code > 127 ? code - 256 : code )))"
}

run /S /C:12042391F000 /DBG:3
run /S /C:131112910000
run /S /D
echo
"$build/tools/quibbench" show "$demo/bench"
echo
echo "The bench folder, with its log (debug.log) and command trace, is kept at: $demo/bench"
