#!/bin/busybox sh
# Copies the sysfs parts the native backend reads into DEST/sys, mirroring /sys: directories, readable
# attribute files up to 64 KiB with their contents (binary ones too), symlinks with their own link text.
# power/ folders and anything unreadable are left out.
dest=$1
rm -rf "$dest"
mkdir -p "$dest"

copy_link() {  # a symlink as a symlink
    mkdir -p "$dest$(dirname "$1")"
    ln -s "$(readlink "$1")" "$dest$1"
}

copy_tree() {  # a device directory and everything under it, links not followed
    find "$1" -name power -prune -o -print | while read -r p; do
        if [ -L "$p" ]; then
            copy_link "$p"
        elif [ -d "$p" ]; then
            mkdir -p "$dest$p"
        elif [ -f "$p" ] && [ -r "$p" ]; then
            if head -c 65537 "$p" >"$dest$p" 2>/dev/null && [ "$(wc -c <"$dest$p")" -le 65536 ]; then
                :
            else
                rm -f "$dest$p"
            fi
        fi
    done
}

# The xHCI controller's PCI device holds the whole USB tree, the SCSI hosts and the disks.
xhci=$(dirname "$(readlink -f /sys/bus/usb/devices/usb1)")
case $xhci in /sys/devices/pci*) ;; *) echo "capture: no xHCI PCI device" >&2; exit 1 ;; esac
copy_tree "$xhci"
mkdir -p "$dest$(dirname "$xhci")"

# Disks outside it (the guest's virtio system disk): their own folders.
for b in /sys/block/*; do
    case $(readlink -f "$b") in "$xhci"/*) ;; *) copy_tree "$(readlink -f "$b")" ;; esac
done

for l in /sys/bus/usb/devices/* /sys/block/* /sys/class/block/* /sys/class/scsi_generic/* \
    /sys/class/scsi_disk/* /sys/class/scsi_device/*; do
    if [ -L "$l" ]; then copy_link "$l"; fi
done
for l in /sys/dev/block/*; do
    for b in /sys/block/*; do
        if [ "$(readlink -f "$l")" = "$(readlink -f "$b")" ]; then copy_link "$l"; fi
    done
done
