#!/usr/bin/env bash
# make hwtest: boots a small Linux guest under QEMU (TCG) whose kernel drives
# four emulated FTDI USB adapters (ftdi_sio) and a 16550 UART (8250), runs
# tests/hw/guest.sh inside it against the freshly built programs, and plays
# one simulated charger per port on the host.
#
#   host: corvane-sim on a pseudo-terminal <-socat-> QEMU socket chardev
#   guest: /dev/ttyUSB0..3 (by udev also /dev/serial/by-id/...), /dev/ttyS1
#
# The guest also has a charger with a USB port of its own, bound by cdc_acm
# as /dev/ttyACM0: a USB gadget on dummy_hcd that guest.sh sets up, plays
# and plugs by itself, so the host knows nothing of it.
#
# A USB adapter is plugged in while socat holds its socket and pulled out
# when socat ends. The guest asks the host for such actions by dropping a
# numbered request file into the shared result folder (see "serve" below);
# each request names a port and is one of: plug, unplug, charger OPTIONS...
# (a fresh simulated charger), stop (end the charger, which writes its log).
#
# With "station", the guest boots systemd instead (tests/hw/station-init) and
# runs tests/hw/station-guest.sh against the station as a service. The
# adapters start out pulled; QEMU's user network forwards a free port of the
# host's loopback address to the station's page, which the guest has the
# host fetch: "http NAME METHOD PATH [TOKEN]" (the reply in http-NAME.code and
# http-NAME.body).
# Usage: run.sh BUILD_DIR [station]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tree=$(cd "$here/../.." && pwd)
build=$(cd "${1:-build}" && pwd)
mode=${2:-drivers}
hw=$build/hw
run=$hw/run
out=$hw/out
if [[ $mode == station ]]; then
    run=$hw/station-run
    out=$hw/station
fi
ports=(usb1 usb2 usb3 usb4 uart)

kroot=$("$here/kernel.sh" "$hw/kernel")
"$here/initramfs.sh" "$kroot" "$hw/initrd.gz"
rm -rf "$run" "$out"
mkdir -p "$run" "$out/req"
echo "${HWTEST_CASES:-}" > "$out/cases"  # a subset of the guest's cases, for trying one

pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for f in "$run"/*.pid; do [[ -e "$f" ]] && kill "$(cat "$f")" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

charger() {  # NAME [SIM OPTIONS...]
    local name=$1
    shift
    stop "$name"
    rm -f "$run/$name.pty"
    "$build/bin/corvane-sim" --link "$run/$name.pty" --log "$out/sim-$name.json" "$@" \
        > "$run/$name.sim.out" 2>&1 &
    echo $! > "$run/$name.sim.pid"
    for _ in $(seq 50); do [[ -e "$run/$name.pty" ]] && return 0; sleep 0.1; done
    echo "hwtest: the simulated charger $name did not start" >&2
}
stop() {  # NAME: ends the charger; it writes its log on the way out
    local f=$run/$1.sim.pid
    [[ -e "$f" ]] || return 0
    kill "$(cat "$f")" 2>/dev/null || true
    while kill -0 "$(cat "$f")" 2>/dev/null; do sleep 0.05; done
    rm -f "$f"
}
plug() {  # NAME: joins the charger to the port's socket; -r keeps what the guest sent
    unplug "$1"
    socat -r "$out/sent-$1.bin" "UNIX-CONNECT:$run/$1.sock" "FILE:$run/$1.pty,raw,echo=0" \
        2>> "$run/$1.socat.err" &
    echo $! > "$run/$1.socat.pid"
}
unplug() {
    local f=$run/$1.socat.pid
    [[ -e "$f" ]] || return 0
    kill "$(cat "$f")" 2>/dev/null || true
    while kill -0 "$(cat "$f")" 2>/dev/null; do sleep 0.05; done
    rm -f "$f"
}

# The station's page, through QEMU's forwarded port.
http() {  # NAME METHOD PATH [TOKEN]
    local auth=()
    [[ -n ${4:-} ]] && auth=(-H "Authorization: Bearer $4")
    curl -s -m 20 -X "$2" "${auth[@]}" -o "$out/http-$1.body" -w '%{http_code}' \
        "http://127.0.0.1:$page_port$3" > "$out/http-$1.code" || true
}

# One request: a verb, a port and, for "charger", the simulator's options.
serve() {
    local verb name
    read -r verb name rest < "$1" || true
    if [[ $verb == http && $name =~ ^[a-z0-9-]+$ ]]; then
        # shellcheck disable=SC2086
        http "$name" $rest
        echo ok > "$1.done"
        return
    fi
    [[ " ${ports[*]} " == *" $name "* ]] || { echo "bad port" > "$1.done"; return; }
    case $verb in
        charger) # shellcheck disable=SC2086
                 charger "$name" $rest ;;
        plug) plug "$name" ;;
        unplug) unplug "$name" ;;
        stop) stop "$name" ;;
        *) echo "bad verb" > "$1.done"; return ;;
    esac
    echo ok > "$1.done"
}

for name in "${ports[@]}"; do charger "$name"; done

devices=()
for i in 1 2 3 4; do
    devices+=(-chardev "socket,id=usb$i,path=$run/usb$i.sock,server=on,wait=off"
              -device "usb-serial,chardev=usb$i,bus=xhci.0,port=$i")
done
append="console=ttyS0 quiet panic=-1 corvane.tree=$tree corvane.out=$out"
extra=()
memory=768
if [[ $mode == station ]]; then
    page_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    append+=" corvane.mode=station corvane.build=$build corvane.kroot=$kroot systemd.unit=corvane-rig.target systemd.journald.forward_to_console=1"
    memory=1024  # the overlay's writes and the journal live in memory
    extra=(-nic "user,model=virtio-net-pci,hostfwd=tcp:127.0.0.1:$page_port-:8642")
fi
qemu-system-x86_64 -machine q35,accel=tcg -m "$memory" -smp 1 -nodefaults -display none -no-reboot \
    -kernel "$(ls "$kroot"/boot/vmlinuz-* | head -1)" -initrd "$hw/initrd.gz" \
    -append "$append" "${extra[@]}" \
    -serial "file:$out/console.log" \
    -chardev "socket,id=uart,path=$run/uart.sock,server=on,wait=off" -serial chardev:uart \
    -device qemu-xhci,id=xhci "${devices[@]}" \
    -virtfs local,path=/,mount_tag=host,security_model=none,readonly=on,multidevs=remap \
    -virtfs "local,path=$out,mount_tag=out,security_model=none" &
qemu=$!
pids+=("$qemu")
for _ in $(seq 50); do [[ -S "$run/uart.sock" ]] && break; sleep 0.1; done
[[ $mode == station ]] || for name in "${ports[@]}"; do plug "$name"; done

# Serve the guest's requests until it powers off (or the time is up).
limit=$((SECONDS + ${HWTEST_TIMEOUT:-540}))
while kill -0 "$qemu" 2>/dev/null; do
    for f in "$out"/req/*; do
        [[ "$f" =~ /[0-9]+$ ]] && [[ ! -e "$f.done" ]] && serve "$f"
    done
    if (( SECONDS > limit )); then
        echo "hwtest: the guest did not finish in time" >&2
        kill "$qemu"
        break
    fi
    sleep 0.1
done
wait "$qemu" || true

cat "$out/guest.log" 2>/dev/null || true
if ! grep -q '^guest exit 0$' "$out/guest.done" 2>/dev/null; then
    echo "hwtest: FAILED (console: $out/console.log)" >&2
    exit 1
fi
echo "hwtest: passed"
