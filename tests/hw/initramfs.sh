#!/usr/bin/env bash
# Builds the guest's initramfs: static busybox, the kernel modules the rig
# needs (with their dependencies, in load order), tests/hw/init and, for the
# station rig, tests/hw/station-init.
# Usage: initramfs.sh KERNEL_ROOT OUT.cpio.gz
set -euo pipefail
kroot=$1
out=$2
here=$(cd "$(dirname "$0")" && pwd)
kver=$(basename "$(ls -d "$kroot"/lib/modules/*/ | head -1)")
mods="$kroot/lib/modules/$kver/kernel"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# Module name (dashes and underscores alike) -> file.
declare -A file
while read -r path; do
    name=${path##*/}; name=${name%.ko}
    file[${name//-/_}]=$path
done < <(find "$mods" -name '*.ko')

depends() {
    objcopy -O binary --only-section=.modinfo "${file[$1]}" /dev/stdout | tr '\0' '\n' |
        sed -n 's/^depends=//p' | tr ',' ' '
}

# Depth-first, so each module comes after the ones it needs.
declare -A seen
order=()
visit() {
    local m=${1//-/_}
    [[ -n "${seen[$m]:-}" ]] && return
    seen[$m]=1
    [[ -n "${file[$m]:-}" ]] || { echo "initramfs.sh: no module $m" >&2; exit 1; }
    for d in $(depends "$m"); do visit "$d"; done
    order+=("$m")
}
# What the root file system needs (the host's over 9p, and for the station
# rig a writable overlay on it) comes first: the station rig loads only those
# and leaves the rest to udevd, as on a bench PC (see station-init).
for m in virtio_pci 9pnet_virtio 9p overlay; do visit "$m"; done
root_order=("${order[@]}")
# dummy_hcd is a USB host and device controller in one: the rig's ACM charger
# is a gadget on it (usb_f_acm, set up through configfs by guest.sh), which
# its own host side sees as a USB device and cdc_acm binds.
for m in xhci_pci usbserial ftdi_sio dummy_hcd usb_f_acm cdc_acm; do visit "$m"; done

mkdir -p "$stage"/{bin,dev,proc,sys,host,lib/modules}
cp /bin/busybox "$stage/bin/busybox"
for m in "${order[@]}"; do cp "${file[$m]}" "$stage/lib/modules/$m.ko"; done
printf '%s\n' "${order[@]}" > "$stage/lib/modules/order"
printf '%s\n' "${root_order[@]}" > "$stage/lib/modules/root-order"
cp "$here/init" "$stage/init"
cp "$here/station-init" "$stage/station-init"
chmod +x "$stage/init"
(cd "$stage" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) > "$out"
