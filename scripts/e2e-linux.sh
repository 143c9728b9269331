#!/usr/bin/env bash
# End-to-end run of the native Linux build against a real Linux kernel: a Debian kernel boots in QEMU
# (TCG) with an xHCI controller, a hub on it and two bench bridges behind the hub, presented by quibredir
# as USB mass-storage devices. The natively built KRV610xFWUpg runs four steps in the guest; the same
# steps run on the host over a copy of the bench, and the two must agree: exit codes, the versions the
# bridges end up running, one restart each, and the commands each bridge received. docs/e2e-linux.md.
#
#   scripts/e2e-linux.sh [--capture-sysfs DIR] [--boot-only] [--keep]
#
#   --capture-sysfs DIR  also copy the guest's sysfs (USB, SCSI and block parts) into DIR/sys and its
#                        device nodes listing into DIR/dev-listing.txt, before the update
#   --boot-only          stop after the disks appeared (and the capture); no program steps
#   --keep               keep the work folder (it is always kept when a check fails)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

capture=""
boot_only=0
keep=0
while (($#)); do
    case $1 in
        --capture-sysfs) capture=$(realpath -m "$2"); shift 2 ;;
        --boot-only) boot_only=1; shift ;;
        --keep) keep=1; shift ;;
        *) echo "usage: $0 [--capture-sysfs DIR] [--boot-only] [--keep]" >&2; exit 2 ;;
    esac
done

started=$SECONDS
say() { echo "e2e [$((SECONDS - started))s] $*"; }

bash scripts/install-deps.sh qemu-system-x86 libusbredirparser-dev busybox-static kmod pkg-config cpio python3

# ---- build (release preset) ---------------------------------------------------------------------------
say "building KRV610xFWUpg, quibdiag, quibbench, quibredir"
cmake --preset default >/dev/null
cmake --build --preset default --target KRV610xFWUpg quibdiag quibbench quibredir >/dev/null
build=$repo/build/default
program=$build/frontend/KRV610xFWUpg
quibbench=$build/tools/quibbench
quibredir=$build/tools/usbredir/quibredir
quibdiag=$build/tools/quibdiag/quibdiag

# ---- the kernel: Debian's linux-image-amd64, unpacked, never installed ------------------------------------
cache=$repo/build/e2e-cache
mkdir -p "$cache"
package=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-/ {print $2; exit}' || true)
if [ -n "$package" ] && ! ls "$cache/${package}_"*.deb >/dev/null 2>&1; then
    say "downloading $package"
    (cd "$cache" && apt-get download "$package" >/dev/null 2>&1)
fi
deb=$(ls -t "$cache"/linux-image-*.deb 2>/dev/null | head -1 || true)
[ -n "$deb" ] || { echo "e2e: no kernel package (apt-get download linux-image-amd64 failed)" >&2; exit 1; }
kroot=$cache/$(basename "$deb" .deb)
if [ ! -f "$kroot/.unpacked" ]; then
    rm -rf "$kroot"
    dpkg-deb -x "$deb" "$kroot"
    kver=$(ls "$kroot/lib/modules")
    depmod -b "$kroot" "$kver"
    touch "$kroot/.unpacked"
fi
kver=$(ls "$kroot/lib/modules")
vmlinuz=$(ls "$kroot"/boot/vmlinuz-*)

# ---- smartctl: Debian's smartmontools, unpacked, never installed ------------------------------------------
if ! ls "$cache"/smartmontools_*.deb >/dev/null 2>&1; then
    say "downloading smartmontools"
    (cd "$cache" && apt-get download smartmontools >/dev/null 2>&1)
fi
sdeb=$(ls -t "$cache"/smartmontools_*.deb 2>/dev/null | head -1 || true)
[ -n "$sdeb" ] || { echo "e2e: no smartmontools package (apt-get download smartmontools failed)" >&2; exit 1; }
sroot=$cache/$(basename "$sdeb" .deb)
if [ ! -f "$sroot/.unpacked" ]; then
    rm -rf "$sroot"
    dpkg-deb -x "$sdeb" "$sroot"
    touch "$sroot/.unpacked"
fi
smartctl=$sroot/usr/sbin/smartctl

# ---- work folder, and what to stop whatever happens --------------------------------------------------------
work=$(mktemp -d /tmp/quib-e2e.XXXXXX)
qemu_pid=""
redir_pid=""
ok=0
cleanup() {
    [ -n "$qemu_pid" ] && kill "$qemu_pid" 2>/dev/null || true
    [ -n "$redir_pid" ] && kill "$redir_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    if [ "$ok" = 1 ] && [ "$keep" = 0 ]; then
        rm -rf "$work"
    else
        echo "e2e: work folder kept: $work"
    fi
}
trap cleanup EXIT

# ---- the initramfs -----------------------------------------------------------------------------------------
say "building the initramfs (kernel $kver)"
initrd_root=$work/initramfs
mkdir -p "$initrd_root"/{bin,dev,proc,sys,tmp,tool,etc,mnt,var/lib/quibusb}
cp /bin/busybox "$initrd_root/bin/busybox"
# The modules in load order: each one's dependencies first, each module once.
: >"$initrd_root/etc/modules"
# virtio_pci and virtio_blk give the guest a system disk (vda) before the USB disks, as the bench has one:
# the USB disks then take disk numbers 1 and 2 as on the bench (docs/linux.md numbers disks that way).
# vfat and its code pages mount what the library formatted.
for module in virtio_pci virtio_blk xhci-pci ehci-pci uhci-hcd usb-storage uas sd_mod sg vfat nls_cp437 nls_ascii \
    nls_utf8 nls_iso8859-1; do
    modprobe -d "$kroot" -S "$kver" --show-depends "$module" | awk '$1 == "insmod" {print $2}'
done | awk '!seen[$0]++' | while read -r ko; do
    rel=${ko#"$kroot"/}
    mkdir -p "$initrd_root/$(dirname "$rel")"
    case $ko in
        *.xz) xz -dc "$ko" >"$initrd_root/${rel%.xz}"; rel=${rel%.xz} ;;
        *.zst) zstd -qdc "$ko" >"$initrd_root/${rel%.zst}"; rel=${rel%.zst} ;;
        *) cp "$ko" "$initrd_root/$rel" ;;
    esac
    args=""
    # The disk appears at once rather than after usb-storage's settling delay.
    [ "$(basename "$rel")" = usb-storage.ko ] && args="delay_use=0"
    echo "/$rel $args" >>"$initrd_root/etc/modules"
done
# The program, quibdiag, smartctl, and the shared libraries they and the program's library need (quibdiag
# finds the built library at its absolute path in the build folder, copied to the same path).
cp "$program" "$quibdiag" "$initrd_root/tool/"
mkdir -p "$initrd_root/usr/sbin"
cp "$smartctl" "$initrd_root/usr/sbin/smartctl"
for binary in "$program" "$quibdiag" "$build/devcore/libquibusb.so" "$smartctl"; do
    ldd "$binary" | awk '{for (i = 1; i <= NF; i++) if ($i ~ /^\//) print $i}'
done | sort -u | while read -r lib; do
    mkdir -p "$initrd_root/$(dirname "$lib")"
    cp -L "$lib" "$initrd_root/$lib"
done
# The file test's reference file, in quibdiag's working folder.
head -c 262144 /dev/urandom >"$initrd_root/tool/rwtestbin.txt"
cp "$initrd_root/tool/rwtestbin.txt" "$work/rwtestbin.txt"
cp "$repo/scripts/e2e-guest/init" "$initrd_root/init"
cp "$repo/scripts/e2e-guest/capture-sysfs.sh" "$initrd_root/bin/capture-sysfs.sh"
chmod +x "$initrd_root/init" "$initrd_root/bin/capture-sysfs.sh"

# ---- the benches -------------------------------------------------------------------------------------------
# Bulk-only bridges, as the guest's usb-storage driver speaks to them, at full speed: QEMU's hub is a
# full-speed hub, and a faster device behind it would announce packet sizes the guest refuses at full speed.
# bridge1's drive gets SMART data of its own, which smartctl reads in the guest after the program's steps.
"$quibbench" create "$work/bench" --bridges 2 --bot --link full >/dev/null
# bridge0's drive is small (1 GiB and 40 sectors, so that the library shortens the partition the
# partitioning made to whole 64-sector steps): the guest repartitions and formats it at the end.
python3 "$repo/scripts/e2e-guest/smart_drive.py" "$work/bench/bench.json" "$work/smart-bench.json" bridge1 \
    bridge0 2097192
"$quibbench" create "$work/bench" --from "$work/smart-bench.json" >/dev/null
cp -a "$work/bench" "$work/host-bench"
initial=$(python3 -c 'import json,sys; print(json.load(sys.stdin)["bridges"][0]["running_version"])' \
    < <("$quibbench" show --json "$work/bench"))
{
    echo "CAPTURE=$([ -n "$capture" ] && echo 1 || echo 0)"
    echo "BOOT_ONLY=$boot_only"
    echo "INITIAL_VERSION=$initial"
} >"$initrd_root/etc/e2e.conf"
(cd "$initrd_root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd.gz"

# ---- the guest run -----------------------------------------------------------------------------------------
truncate -s 16M "$work/system-disk.img"
mkdir -p "$work/sock"
"$quibredir" "$work/bench" "$work/sock" >"$work/quibredir.log" 2>&1 &
redir_pid=$!
for _ in $(seq 100); do
    [ -S "$work/sock/bridge0.sock" ] && [ -S "$work/sock/bridge1.sock" ] && break
    sleep 0.05
done
[ -S "$work/sock/bridge1.sock" ] || { cat "$work/quibredir.log"; echo "e2e: quibredir did not start" >&2; exit 1; }

say "booting the guest"
# The hub sits on xHCI port 1; the bridges on its ports 1 and 2. The second serial port carries the
# sysfs capture, apart from the kernel's console messages.
# qboot rather than SeaBIOS: SeaBIOS probes USB disks itself, and its commands would reach the bridges.
qemu-system-x86_64 -accel tcg -m 512M -nographic -no-reboot -nic none -bios /usr/share/qemu/qboot.rom \
    -kernel "$vmlinuz" -initrd "$work/initrd.gz" \
    -append "console=ttyS0 loglevel=4 panic=-1 rdinit=/init" \
    -drive file="$work/system-disk.img",if=virtio,format=raw \
    -device qemu-xhci,id=xhci \
    -device usb-hub,bus=xhci.0,port=1 \
    -chardev socket,id=r0,path="$work/sock/bridge0.sock" -device usb-redir,chardev=r0,bus=xhci.0,port=1.1 \
    -chardev socket,id=r1,path="$work/sock/bridge1.sock" -device usb-redir,chardev=r1,bus=xhci.0,port=1.2 \
    -serial mon:stdio -serial file:"$work/capture.out" \
    </dev/null >"$work/console.log" 2>&1 &
qemu_pid=$!

# Every wait has its time-out; QEMU is killed when it runs out.
deadline=$((SECONDS + 240))
while kill -0 "$qemu_pid" 2>/dev/null; do
    if ((SECONDS > deadline)); then
        echo "e2e: the guest did not finish in time" >&2
        kill "$qemu_pid" 2>/dev/null || true
        break
    fi
    sleep 0.5
done
wait "$qemu_pid" 2>/dev/null || true
qemu_pid=""
for _ in $(seq 40); do kill -0 "$redir_pid" 2>/dev/null || break; sleep 0.05; done
kill "$redir_pid" 2>/dev/null || true
wait "$redir_pid" 2>/dev/null || true
redir_pid=""
say "guest finished"
tr -d '\r' <"$work/console.log" >"$work/console.txt"
grep -E '^E2E' "$work/console.txt" || true
# quibdiag's and smartctl's JSON answers came on the second serial port, each between its markers.
tr -d '\r' <"$work/capture.out" | awk -v dir="$work" '
    /^E2E-JSON-BEGIN / { file = dir "/" $2 ".json"; printf "" > file; next }
    /^E2E-JSON-END$/ { close(file); file = ""; next }
    file != "" { print >> file }'

if [ -n "$capture" ]; then
    rm -rf "$capture/sys" "$capture/dev-listing.txt"
    mkdir -p "$capture"
    tr -d '\r' <"$work/capture.out" |
        sed -n '/^E2E-CAPTURE-BEGIN$/,/^E2E-CAPTURE-END$/p' | sed '1d;$d' | base64 -d | tar -xzf - -C "$capture"
    sed -n '/^E2E-DEV-BEGIN$/,/^E2E-DEV-END$/p' "$work/console.txt" | sed '1d;$d' >"$capture/dev-listing.txt"
    say "sysfs captured into $capture ($(du -sh "$capture" | cut -f1))"
fi

# ---- the host run over the copy, then the checks ------------------------------------------------------------
mkdir -p "$work/host-tool"
cp "$program" "$work/host-tool/"
: >"$work/host-steps.txt"
if [ "$boot_only" = 0 ]; then
    say "running the same steps on the host bench"
    step() {
        local name=$1
        shift
        set +e
        (cd "$work/host-tool" && QUIB_BENCH="$work/host-bench" ./KRV610xFWUpg "$@" </dev/null >/dev/null 2>&1)
        local code=$?
        set -e
        echo "E2E-STEP $name exit=$code" >>"$work/host-steps.txt"
    }
    step version-check /S "/C:$initial"
    step update /S
    step speed /S /D
    step report /S /O
    cp "$work/host-tool/KRV610xVersion.txt" "$work/host-version.txt" 2>/dev/null || true
    diag() {
        local name=$1
        shift
        set +e
        QUIB_BENCH="$work/host-bench" "$quibdiag" "$@" --json </dev/null >"$work/host-diag-$name.json" 2>/dev/null
        echo "E2E-DIAG $name exit=$?" >>"$work/host-steps.txt"
        set -e
    }
    diag list list
    diag identify identify -b 1
    diag smart smart -b 1
    diag log-1 log read -b 1 --address 1
    diag log-6 log read -b 1 --address 6
fi
"$quibbench" show --json "$work/bench" >"$work/guest-state.json"
"$quibbench" show --json "$work/host-bench" >"$work/host-state.json"

if python3 "$repo/scripts/e2e-guest/check.py" --work "$work" --boot-only "$boot_only" \
    --capture "$([ -n "$capture" ] && echo 1 || echo 0)"; then
    ok=1
    say "PASSED"
    exit 0
fi
say "FAILED (console: $work/console.txt, quibredir: $work/quibredir.log)"
exit 1
