# shellcheck shell=bash disable=SC2034,SC2154
# What both guest sides of the rig (guest.sh, station-guest.sh) share:
# the PASS/FAIL lines, requests to the host (see run.sh) and the FTDI
# adapters' ttys. Sourced: $out comes from the script that sources it,
# and $failed goes back to it.
failed=0
seq=0

pass() { echo "PASS $*"; }
fail() { echo "FAIL $*"; failed=1; }
check() {  # NAME COMMAND...: passes when the command succeeds
    local name=$1
    shift
    if "$@"; then pass "$name"; else fail "$name"; fi
}

# Asks the host for one action (see run.sh) and waits until it is done.
host() {
    seq=$((seq + 1))
    printf '%s\n' "$*" > "$out/req/$seq.tmp"
    mv "$out/req/$seq.tmp" "$out/req/$seq"
    for _ in $(seq 300); do
        [[ -e "$out/req/$seq.done" ]] && return 0
        sleep 0.1
    done
    echo "host did not answer: $*"
    return 1
}

# The tty of USB adapter N (1..4): QEMU's xhci port N.
usb() { readlink -e /dev/serial/by-path/*-usb-0:"$1":1.0-port0 2>/dev/null; }
wait_usb() {  # N: until the adapter's tty is there (after a plug)
    for _ in $(seq 100); do
        udevadm settle -t 5
        [[ -c "$(usb "$1")" ]] && return 0
        sleep 0.1
    done
    return 1
}
wait_usb_gone() {
    for _ in $(seq 100); do
        [[ -z "$(usb "$1")" ]] && return 0
        sleep 0.1
    done
    return 1
}
