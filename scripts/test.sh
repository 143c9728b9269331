#!/usr/bin/env bash
# Builds everything and runs all tests: the release build, the end-to-end run against a real Linux kernel
# (twice in a row: it must pass every time, not once in a while), then the build with the address and
# undefined-behaviour sanitizers, and the Windows builds under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
# Each phase says when it starts, so that a CI log shows where the time goes.
phase() { echo "== $* (at $SECONDS s)"; }
# The end-to-end run's packages too, so that one package-list update serves both.
bash scripts/install-deps.sh qemu-system-x86 libusbredirparser-dev busybox-static kmod pkg-config cpio python3 \
    dosfstools mtools fdisk exfatprogs ntfs-3g
for preset in default debug; do
    phase "build and test: $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    phase "tests: $preset"
    ctest --preset "$preset"
    if [ "$preset" = default ]; then
        for round in 1 2; do
            phase "end to end against a Linux kernel in QEMU: round $round"
            bash scripts/e2e-linux.sh
        done
    fi
done
phase "the Windows builds, under Wine"
bash scripts/windows.sh test
phase "done"
