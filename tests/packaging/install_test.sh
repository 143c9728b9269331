#!/usr/bin/env bash
# Installs the build into a staging folder and checks what a user of the library gets: every file in its
# place, a stripped program and library, and a header that a C program can be built against through the
# pkg-config file and through the CMake package.
set -euo pipefail
build=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/quib-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
stage=$work/stage
prefix=/usr/local
DESTDIR=$stage cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
for f in bin/KRV610xFWUpg bin/quibdiag lib/libquibusb.so include/quibusb.h lib/pkgconfig/quibusb.pc \
         lib/cmake/quibusb/quibusbConfig.cmake lib/cmake/quibusb/quibusbConfigVersion.cmake; do
    [ -f "$stage$prefix/$f" ] || fail "$prefix/$f not installed"
done
[ -f "$stage/etc/udev/rules.d/70-quibusb.rules" ] || fail "udev rule not installed"
[ -x "$stage$prefix/bin/KRV610xFWUpg" ] || fail "program not executable"
for f in bin/KRV610xFWUpg bin/quibdiag lib/libquibusb.so; do
    if readelf -S "$stage$prefix/$f" | grep -q '\.debug_info'; then fail "$f carries debug information"; fi
done

# quibdiag finds the installed library through its run path, not through the build tree.
readelf -d "$stage$prefix/bin/quibdiag" | grep -q 'R.*PATH.*\[\$ORIGIN/../lib\]' || fail "quibdiag's run path is not \$ORIGIN/../lib"
"$stage$prefix/bin/quibdiag" --help >/dev/null || fail "installed quibdiag does not start"

# A consumer built through pkg-config.
cat >"$work/use.c" <<'C'
#include <quibusb.h>
#include <stdio.h>
int main(void) { printf("%p\n", (void*)&QuibUSBLib_Function_vInitialPD); return 0; }
C
flags=$(PKG_CONFIG_SYSROOT_DIR=$stage PKG_CONFIG_LIBDIR=$stage$prefix/lib/pkgconfig pkg-config --cflags --libs quibusb)
# shellcheck disable=SC2086
cc -o "$work/use-pc" "$work/use.c" $flags || fail "build through pkg-config"

# A consumer built through the CMake package.
mkdir -p "$work/consumer"
cp "$work/use.c" "$work/consumer/use.c"
cat >"$work/consumer/CMakeLists.txt" <<'CM'
cmake_minimum_required(VERSION 3.25)
project(use C)
find_package(quibusb 3 REQUIRED)
add_executable(use use.c)
target_link_libraries(use PRIVATE quibusb::quibusb)
CM
cmake -S "$work/consumer" -B "$work/consumer/build" -G Ninja -DCMAKE_PREFIX_PATH="$stage$prefix" >/dev/null ||
    fail "configure through the CMake package"
cmake --build "$work/consumer/build" >/dev/null || fail "build through the CMake package"
LD_LIBRARY_PATH=$stage$prefix/lib "$work/consumer/build/use" >/dev/null || fail "consumer does not run"
echo "install: every file in place; consumers build through pkg-config and the CMake package"
