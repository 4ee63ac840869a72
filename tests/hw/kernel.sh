#!/usr/bin/env bash
# Unpacks the kernel of Debian's linux-image-amd64 into DIR (default
# build/hw/kernel) with apt-get download and dpkg-deb -x, so the host's /boot
# and module tree are never touched, and indexes its modules with depmod (as
# the package's own postinst would), so that a guest's udevd and modprobe can
# load them by name and by device. Prints the path of the unpacked tree.
set -euo pipefail
dir=${1:-build/hw/kernel}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
if ! ls "$dir"/root/boot/vmlinuz-* >/dev/null 2>&1; then
    # The versioned package the meta-package points at, e.g. linux-image-6.1.0-57-amd64.
    versioned() {
        apt-cache depends linux-image-amd64 2>/dev/null |
            sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -1
    }
    pkg=$(versioned)
    rm -f "$dir"/*.deb
    # Fresh package lists when the kernel is unknown or no longer on the mirror.
    if [[ -z "$pkg" ]] || ! (cd "$dir" && apt-get download "$pkg" >/dev/null 2>&1); then
        apt-get update -qq
        pkg=$(versioned)
        [[ -n "$pkg" ]] || { echo "kernel.sh: no linux-image-amd64 in the package lists" >&2; exit 1; }
        (cd "$dir" && apt-get download "$pkg" >/dev/null)
    fi
    rm -rf "$dir/root"
    dpkg-deb -x "$dir"/"$pkg"_*.deb "$dir/root"
    rm -f "$dir"/*.deb
fi
if ! ls "$dir"/root/lib/modules/*/modules.dep.bin >/dev/null 2>&1; then
    PATH=$PATH:/usr/sbin:/sbin depmod -b "$dir/root" "$(basename "$(ls -d "$dir"/root/lib/modules/*/ | head -1)")"
fi
echo "$dir/root"
