#!/usr/bin/env bash
# Demo on an emulated bench: creates a bench with two bridges running 12042391F000, updates both to the
# packaged firmware 131112910000 in silent mode, writes the version report, and then shows a dialog-mode
# run on a fresh bench as the terminal draws it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target KRV610xFWUpg quibbench

build=build/default
demo=$(mktemp -d /tmp/quib-demo.XXXXXX)
mkdir -p "$demo/tool"
cp "$build/frontend/KRV610xFWUpg" "$demo/tool/"
"$build/tools/quibbench" create "$demo/bench" --bridges 2 >/dev/null

run() {
    local what=$1
    shift
    echo
    echo "# $what"
    echo "\$ KRV610xFWUpg $*"
    set +e
    QUIB_BENCH="$demo/bench" "$demo/tool/KRV610xFWUpg" "$@" </dev/null
    local code=$?
    set -e
    # The process exit code is the signed result modulo 256.
    echo "exit code: $code (signed: $(( code > 127 ? code - 256 : code )))"
}

echo "# The bench before the update:"
"$build/tools/quibbench" show "$demo/bench"

run "Silent update of every bridge (0 = both updated and running the new firmware)" /S
echo
echo "# The bench after the update:"
"$build/tools/quibbench" show "$demo/bench"

run "A second silent update: the bridges no longer run a version the settings list (-3)" /S
run "Version report" /S /O
echo "# KRV610xVersion.txt:"
cat -A "$demo/tool/KRV610xVersion.txt"

echo
echo "# A dialog-mode run on a fresh bench: the window as the terminal shows it"
"$build/tools/quibbench" create "$demo/bench2" --bridges 1 >/dev/null
set +e
QUIB_BENCH="$demo/bench2" "$demo/tool/KRV610xFWUpg" </dev/null
echo "exit code: $?"
set -e
echo
echo "The bench folders, with their logs (debug.log) and command traces, are kept at: $demo"
