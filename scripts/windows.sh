#!/usr/bin/env bash
# The Windows builds (mingw-w64), proven under Wine.
#   windows.sh demo   cross-builds the x64 program and runs the demo update under Wine on a bench
#   windows.sh test   both cross builds and their export tables; the x64 unit tests under Wine (a virtual
#                     display for the window); the x64 program as a user runs it over bench folders, beside
#                     the Linux program (needs build/default, made by scripts/test.sh); the zips
#   windows.sh x86    the same runs of the x86 program and tests, with Wine's 32-bit half (wine32:i386)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
mode=${1:-test}

bash scripts/install-deps.sh g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 xvfb python3 unzip
# 32-bit programs need Wine's 32-bit half, from the i386 architecture: installed only when asked for, as
# a mirror that serves i386 lists out of step with amd64 leaves apt unable to install anything afterwards.
if [ "$mode" = x86 ] && ! dpkg -s wine32:i386 >/dev/null 2>&1; then
    sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq || true
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq wine32:i386
fi

# One display for every window the runs open.
if [ -z "${DISPLAY:-}" ]; then
    display=:$((90 + RANDOM % 9))
    Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
    xvfb=$!
    trap 'kill $xvfb 2>/dev/null || true' EXIT
    export DISPLAY=$display
    sleep 1
fi

if [ "$mode" = demo ]; then
    cmake --preset windows-x64 -DQUIB_BUILD_TESTS=OFF >/dev/null
    cmake --build --preset windows-x64 --target KRV610xFWUpg quibbench
    build=build/windows-x64
    demo=$(mktemp -d /tmp/quib-windows-demo.XXXXXX)
    mkdir -p "$demo/tool"
    cp "$build/frontend/KRV610xFWUpg.exe" "$demo/tool/"
    bench_tool() { scripts/wine-run.sh "$build/tools/quibbench.exe" "$@"; }
    bench_tool create "$(winepath -w "$demo/bench" 2>/dev/null)" --bridges 2 >/dev/null
    export QUIB_BENCH="$(winepath -w "$demo/bench" 2>/dev/null)"
    echo "# The bench before the update:"; bench_tool show "$QUIB_BENCH"
    echo; echo "\$ wine KRV610xFWUpg.exe /S      (silent update of every bridge)"
    set +e; (cd "$demo/tool" && "$root/scripts/wine-run.sh" ./KRV610xFWUpg.exe /S) 2>/dev/null
    code=$?; set -e
    echo "exit code: $code (signed: $(( code > 127 ? code - 256 : code )))"
    echo; echo "# The bench after the update:"; bench_tool show "$QUIB_BENCH"
    echo; echo "The bench folder, with its log (debug.log) and command trace, is kept at: $demo"
    exit 0
fi

archs=(x64 x86)
[ "$mode" = x86 ] && archs=(x86)
for arch in "${archs[@]}"; do
    preset=windows-$arch build=build/windows-$arch
    echo "== windows $arch: build (at $SECONDS s)"
    cmake --preset "$preset" -DQUIB_BUILD_TESTS=ON -DQUIB_HOST_QUIBBENCH="$PWD/build/default/tools/quibbench" >/dev/null
    if [ $arch = x64 ] || [ "$mode" = x86 ]; then
        cmake --build --preset "$preset"
        echo "== windows $arch: unit tests under Wine (at $SECONDS s)"
        scripts/wine-run.sh cmd /c rem  # the Wine prefix is made before the tests are listed
        ctest --preset "$preset"
        echo "== windows $arch: the program under Wine over benches (at $SECONDS s)"
        bash scripts/windows-checks.sh "$build" build/default
    else
        # Without Wine's 32-bit half: the deliverables, their export and import tables and the zip.
        cmake --build --preset "$preset" --target KRV610xFWUpg quibusb quibdiag
        ctest --preset "$preset" -R Packaging.WindowsExports
    fi
    echo "== windows $arch: package (at $SECONDS s)"
    (cd "$build" && cpack -G ZIP >/dev/null && bash ../../packaging/windows/check_zip.sh KRV610xFWUpg-*-windows-$arch.zip)
done
