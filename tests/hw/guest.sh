#!/bin/bash
# The guest side of make hwtest: runs inside the virtual machine (chrooted
# into the host's root, read-only) against the kernel's ftdi_sio, 8250 and
# cdc_acm drivers, with udevd. Prints one PASS or FAIL line per check and
# exits 1 when any failed. The host plays the chargers behind the FTDI
# adapters and the UART and plugs or pulls the adapters on request (see
# run.sh); the charger behind the ACM device is played here (see "acm").
# Usage: guest.sh OUT_DIR   (OUT_DIR is BUILD/hw/out, shared with the host)
out=$1
build=${out%/hw/out}
cli=$build/bin/corvane-cli
export HOME=/tmp/home XDG_STATE_HOME=/tmp/home/state XDG_CONFIG_HOME=/tmp/home/config
export LC_ALL=C QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_STATE_HOME" "$XDG_CONFIG_HOME"
# shellcheck source-path=SCRIPTDIR source=rig-lib.sh
. "$(dirname "$0")/rig-lib.sh"

# The ACM charger: a USB gadget with one ACM function on dummy_hcd. Its
# device side, ttyGS<n>, is joined by socat to a simulated charger on a
# pseudo-terminal; its host side is what cdc_acm makes of it, ttyACM<n>.
# Pulling it unbinds the gadget from its controller, so the host side sees
# the device leave as when a charger's USB cable is pulled.
gadget=/sys/kernel/config/usb_gadget/charger
acm_run=/tmp/acm
acm() { readlink -f /dev/serial/by-id/usb-Corvane_hwtest_Simulated_charger_1-if00 2>/dev/null; }
wait_acm() {
    for _ in $(seq 100); do
        udevadm settle -t 5
        [[ -c "$(acm)" ]] && return 0
        sleep 0.1
    done
    return 1
}
acm_gadget() {
    mountpoint -q /sys/kernel/config || mount -t configfs none /sys/kernel/config
    mkdir -p "$acm_run" "$gadget/strings/0x409" "$gadget/configs/c.1" "$gadget/functions/acm.usb0"
    echo 0x1d6b > "$gadget/idVendor"   # Linux Foundation:
    echo 0x0104 > "$gadget/idProduct"  # a composite gadget
    echo "Corvane hwtest" > "$gadget/strings/0x409/manufacturer"
    echo "Simulated charger" > "$gadget/strings/0x409/product"
    echo 1 > "$gadget/strings/0x409/serialnumber"
    ln -s "$gadget/functions/acm.usb0" "$gadget/configs/c.1/"
}
acm_charger() {  # [SIM OPTIONS]
    acm_stop
    rm -f "$acm_run/pty"
    "$build/bin/corvane-sim" --link "$acm_run/pty" --log "$out/sim-acm.json" "$@" \
        > "$acm_run/sim.out" 2>&1 &
    echo $! > "$acm_run/sim.pid"
    for _ in $(seq 50); do [[ -e $acm_run/pty ]] && return 0; sleep 0.1; done
    echo "the simulated charger acm did not start"
    return 1
}
acm_stop() {  # it writes its log on the way out
    [[ -e $acm_run/sim.pid ]] || return 0
    local pid
    pid=$(cat "$acm_run/sim.pid")
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    rm -f "$acm_run/sim.pid"
}
acm_plug() {
    acm_unplug
    # The unbinding hung up ttyGS<n> as well, which ends socat.
    if [[ -e $acm_run/socat.pid ]]; then
        local old
        old=$(cat "$acm_run/socat.pid")
        for _ in $(seq 20); do kill -0 "$old" 2>/dev/null || break; sleep 0.1; done
        kill "$old" 2>/dev/null
        wait "$old" 2>/dev/null
    fi
    # ttyGS<n> drops what arrives while nobody holds it open, so socat holds
    # it before the host side can see the device. -r keeps what Corvane sent;
    # -t: socat ends soon after the pull hangs ttyGS<n> up.
    local gs pid
    gs=/dev/ttyGS$(cat "$gadget/functions/acm.usb0/port_num")
    socat -t 0.05 -r "$out/sent-acm.bin" "FILE:$gs,raw,echo=0" "FILE:$acm_run/pty,raw,echo=0" \
        2>> "$out/socat-acm.err" &
    pid=$!
    echo "$pid" > "$acm_run/socat.pid"
    for _ in $(seq 50); do
        [[ $(readlink /proc/"$pid"/fd/* 2>/dev/null) == *"$gs"* ]] && break
        sleep 0.1
    done
    ls /sys/class/udc > "$gadget/UDC"
    wait_acm
}
acm_unplug() {
    pulled_at=$(date +%s%N)
    [[ -n $(cat "$gadget/UDC") ]] && echo > "$gadget/UDC"
}
# One action on a port (see run.sh): the host's, but done here for the ACM
# charger. An unplug sets pulled_at (ns), the time of the pull as near as the
# guest can tell: for an adapter, when the host says it has pulled it; for
# the ACM charger, just before the unbinding, which takes a while itself.
pulled_at=0
rig() {  # VERB NAME [SIM OPTIONS]
    if [[ $2 != acm ]]; then
        host "$@" || return 1
        [[ $1 == unplug ]] && pulled_at=$(date +%s%N)
        return 0
    fi
    case $1 in
        charger) shift 2; acm_charger "$@" ;;
        plug) acm_plug ;;
        unplug) acm_unplug ;;
        stop) acm_stop ;;
    esac
}
# The tty Corvane opens for a port.
dev_of() {  # NAME
    case $1 in
        uart) echo /dev/ttyS1 ;;
        acm) acm ;;
        usb*) usb "${1#usb}" ;;
    esac
}

# A fresh charger on a port, joined again (pulling a USB adapter out and in).
fresh() {  # NAME [SIM OPTIONS]
    rig charger "$@" && rig plug "$1"
    [[ $1 == usb* ]] && wait_usb "${1#usb}"
    true
}
sim_log() { rig stop "$1" && cat "$out/sim-$1.json"; }

# While COMMAND runs on DEVICE, read the line settings once the upload is on.
settings_during() {  # DEVICE FILE COMMAND...
    local dev=$1 file=$2
    shift 2
    "$@" > /dev/null 2> "$file.progress" &
    local pid=$!
    wait_for_line 'block 20 of' "$file.progress" 1
    stty -F "$dev" -a > "$file" 2>&1
    wait "$pid"
}
line_is_set() {  # FILE: 38400 8N1 raw
    local want
    has "$1" 'speed 38400 baud' cs8 -parenb -cstopb -icanon -echo -opost -isig -icrnl -ixon
}
has() {  # FILE WORD...: stty -a shows each word
    local file=$1 want
    shift
    for want in "$@"; do
        grep -qE -- "(^| )$want(;| |\$)" "$file" || { echo "  line: no '$want'"; cat "$file"; return 1; }
    done
}

setup() {
    mkdir -p /run/udev
    /usr/lib/systemd/systemd-udevd --daemon 2>/dev/null
    udevadm trigger --action=add
    udevadm settle -t 20
    for n in 1 2 3 4; do wait_usb "$n" || echo "adapter $n missing"; done
    acm_gadget
    fresh acm
    [[ -c "$(acm)" ]] || echo "the ACM charger is missing"
    ls -l /dev/serial/by-id/ /dev/serial/by-path/
}

case_read_upgrade_lines() {
    local name dev
    for name in usb1 uart acm; do
        dev=$(dev_of "$name")
        check "1 read through ${name} ($dev)" "$cli" --port "$dev" read
        # Settings of our own, which Close must give back.
        stty -F "$dev" 9600 cs7 parenb cstopb icanon echo
        settings_during "$dev" "$out/line-$name.txt" "$cli" --port "$dev" upgrade
        check "1 upgrade through $name exits 0" test $? -eq 0
        check "2 line during the upload through $name is 38400 8N1 raw" line_is_set "$out/line-$name.txt"
        stty -F "$dev" -a > "$out/line-$name-after.txt"
        check "2 the earlier settings are back after Close on $name" has "$out/line-$name-after.txt" \
            'speed 9600 baud' cs7 parenb cstopb icanon echo
        stty -F "$dev" 38400 cs8 -parenb -cstopb
        sim_log "$name" > "$out/sim-$name.txt"
        check "1 the charger on $name checked the image as sound, 2.10e" \
            grep -q '"finalImageSound": true' "$out/sim-$name.txt"
        grep -q '"installedVersion": "2.10e"' "$out/sim-$name.txt" || fail "1 ... installed 2.10e on $name"
        fresh "$name"
    done
}

# Only the UART shows a missing drain: QEMU's FTDI takes bytes at once, and
# cdc_acm's close waits for its queue (which tcflush leaves alone). Through
# those two the check guards that a stop sends the CANs at all.
case_drain() {
    local name dev
    for name in usb2 uart acm; do
        dev=$(dev_of "$name")
        "$cli" --port "$dev" upgrade > /dev/null 2> "$out/drain-$name.err" &
        local pid=$!
        wait_for_line 'block 20 of' "$out/drain-$name.err" 1
        kill -INT "$pid"
        wait "$pid"
        check "3 a stop mid-upload through $name exits 130" test $? -eq 130
        rig unplug "$name"  # the host's socat flushes what it still held
        local tail
        tail=$(tail -c 2 "$out/sent-$name.bin" | od -An -tx1 | tr -d ' \n')
        check "3 CAN CAN reached the charger through $name (last bytes: $tail)" test "$tail" = 1818
        fresh "$name"
    done
}

case_bench() {
    fresh usb3 --cancel-at-block 30
    local log=$out/bench.jsonl
    "$cli" --json bench --force --port '/dev/ttyUSB*' --port '/dev/serial/by-id/usb-Corvane_hwtest_*' \
        > "$log" 2> "$out/bench.err"
    check "4 bench of four FTDI and one ACM with one faulty exits 1" test $? -eq 1
    check "4 four upgraded" test "$(grep -c '"outcome":"upgraded"' "$log")" -eq 4
    check "4 the ACM charger among them" grep -qE "\"port\":\"[^\"]*Simulated_charger[^\"]*\".*\"outcome\":\"upgraded\"" "$log"
    check "4 one failed with its reason" grep -q '"outcome":"failed","reason":"The charger cancelled' "$log"
    fresh usb3
}

# A single upgrade: the adapter (or the ACM charger's cable) is pulled at
# about block 20.
pulled_upgrade() {  # NAME
    local name=$1 dev start took
    dev=$(dev_of "$name")
    "$cli" --port "$dev" upgrade > "$out/unplug-$name.out" 2>&1 &
    local pid=$!
    wait_for_line 'block 20 of' "$out/unplug-$name.out" 1
    rig unplug "$name"
    start=$pulled_at
    wait "$pid"
    local code=$?
    took=$((($(date +%s%N) - start) / 1000000))
    check "5 upgrade through a pulled $name fails (exit $code)" test "$code" -ne 0
    check "5 ... within 2 s (took $took ms)" test "$took" -le 2000
    check "5 ... saying the adapter was disconnected" \
        grep -q 'adapter was disconnected at block [0-9]* of [0-9]*' "$out/unplug-$name.out"
    fresh "$name"
}

case_unplug() {
    pulled_upgrade usb4
    pulled_upgrade acm

    # A bench: one adapter pulled mid-upload, the others finish.
    local log=$out/bench-unplug.jsonl
    "$cli" --json bench --force --port '/dev/ttyUSB*' > "$log" 2> "$out/bench-unplug.err" &
    pid=$!
    wait_for_line "\"port\":\"$(usb 2)\",\"block\":20," "$log" 1
    host unplug usb2
    local cpu0 cpu1
    cpu0=$(awk '{print $14 + $15}' "/proc/$pid/stat")
    sleep 3
    cpu1=$(awk '{print $14 + $15}' "/proc/$pid/stat" 2>/dev/null || echo "$cpu0")
    wait "$pid"
    check "5 bench: three upgraded after one adapter was pulled" \
        test "$(grep -c '"outcome":"upgraded"' "$log")" -eq 3
    check "5 bench: the pulled one failed as disconnected" \
        grep -q '"outcome":"failed","reason":"The adapter was disconnected at block' "$log"
    check "5 bench: no spin after the pull ($((cpu1 - cpu0)) ticks in 3 s)" test $((cpu1 - cpu0)) -lt 100
    fresh usb2
}

# monitor and bench --watch on a by-id name, across a pull and a plug.
case_return() {
    local byid
    byid=$(ls /dev/serial/by-id/*-4-if00-port0)
    timeout 60 "$cli" --port "$byid" monitor --count 16 > "$out/monitor.out" 2>&1 &
    local pid=$!
    sleep 4
    host unplug usb4 && sleep 2 && host plug usb4
    wait "$pid"
    check "5 monitor across a pull ends its count (exit $?)" test $? -eq 0
    check "5 monitor saw the link go" grep -q 'was lost at' "$out/monitor.out"
    check "5 monitor saw it come back" grep -q 'is back at' "$out/monitor.out"

    local log=$out/bench-watch.jsonl
    "$cli" --json bench --watch --read-only --port "$byid" > "$log" 2> "$out/bench-watch.err" &
    pid=$!
    wait_for_line '"event":"finished"' "$log" 1
    host unplug usb4 && wait_for_line '"event":"gone"' "$log" 1
    host plug usb4 && wait_for_line '"event":"finished"' "$log" 2
    kill -INT "$pid"
    wait "$pid"
    check "5 bench --watch served the charger again after udev saw it return" \
        test "$(grep -cE '"event":"finished".*"outcome":"(current|read)"' "$log")" -eq 2
}
wait_for_line() {  # TEXT FILE COUNT: up to 30 s
    for _ in $(seq 300); do
        local n
        n=$(grep -c -- "$1" "$2" 2>/dev/null)
        (( ${n:-0} >= $3 )) && return 0
        sleep 0.1
    done
    echo "  no $3 x $1 in $2"
    return 1
}

case_discovery() {
    "$cli" ports > "$out/ports.txt"
    cat "$out/ports.txt"
    check "6 ports lists the adapters by their by-id names" \
        test "$(grep -c '/dev/serial/by-id/usb-QEMU_' "$out/ports.txt")" -eq 4
    check "6 ports shows the vendor and model" grep -q 'QEMU' "$out/ports.txt"
    local entry
    entry=$(grep -A1 "^  $(acm) " "$out/ports.txt" | tr -s ' ')
    check "6 ports lists the ACM charger with its model and by-id name" test "$entry" = \
        " $(acm) Simulated charger (Corvane hwtest)
 /dev/serial/by-id/usb-Corvane_hwtest_Simulated_charger_1-if00"
    check "6 ports lists the 16550 and not the ttyS numbers with no UART" \
        test "$(grep -cE '^  /dev/ttyS[0-9]' "$out/ports.txt")" -eq 2
    # The 8250 driver keeps ttyS2 and ttyS3 with no UART behind them: they
    # open, and then answer everything with EIO.
    "$cli" --port /dev/ttyS3 read > "$out/no-uart.out" 2>&1
    check "6 a ttyS with no UART cannot be opened (exit $?)" test $? -eq 3
    check "6 ... and the message says why" grep -q 'input/output error: this computer has no serial port' \
        "$out/no-uart.out"
}

case_exclusive() {
    local dev
    dev=$(usb 1)
    "$cli" --port "$dev" monitor > /dev/null 2>&1 &
    local pid=$!
    sleep 3
    "$cli" --port "$dev" read > "$out/second.out" 2>&1
    check "7 a second Corvane on the same adapter is refused (exit $?)" test $? -eq 3
    cat "$out/second.out"
    kill -9 "$pid"
    wait "$pid" 2>/dev/null
    "$cli" --port "$dev" read > "$out/after-kill.out" 2>&1
    local code=$?
    check "7 after kill -9 of the first, the next read works (exit $code)" test "$code" -eq 0
    [[ $code -eq 0 ]] || cat "$out/after-kill.out"
}

# ports --by-path names each adapter by the xhci port it sits in, in the
# hub's order; a bench with that file, its labels changed, records each
# charger under the label of its port, whichever ttyUSB the kernel gave it.
case_slots() {
    "$cli" ports --by-path > "$out/slots" 2> "$out/slots.err"
    check "8 ports --by-path exits 0 (exit $?)" test $? -eq 0
    cat "$out/slots"
    local n want=
    for n in 1 2 3 4; do
        want+="Slot $n = $(basename "$(ls -d /dev/serial/by-path/*-usb-0:"$n":1.0-port0)")"$'\n'
    done
    check "8 ports --by-path lists the four adapters in hub order" \
        test "$(grep '^Slot [1-4] = ' "$out/slots")" = "${want%$'\n'}"
    sed 's/^Slot \([0-9]*\) =/Bay \1 =/' "$out/slots" > "$out/slots-bays"
    local log=$out/bench-slots.jsonl
    "$cli" --json bench --read-only --slots "$out/slots-bays" --port '/dev/ttyUSB*' \
        > "$log" 2> "$out/bench-slots.err"
    check "8 bench with the slots file exits 0 (exit $?)" test $? -eq 0
    for n in 1 2 3 4; do
        check "8 the charger on $(usb "$n") is Bay $n in the bench's events" \
            grep -q "\"event\":\"finished\",\"port\":\"$(usb "$n")\",\"slot\":\"Bay $n\"," "$log"
        "$cli" history --json --slot "Bay $n" > "$out/history-bay$n.jsonl"
        check "8 history --slot 'Bay $n' lists its one record, of $(usb "$n")" test \
            "$(grep -c "\"port\":\"$(usb "$n")\".*\"slot\":\"Bay $n\"}\$" "$out/history-bay$n.jsonl")/$(wc -l < "$out/history-bay$n.jsonl")" = 1/1
    done
}

setup
cases=$(cat "$out/cases" 2>/dev/null)
for c in ${cases:-read_upgrade_lines drain bench unplug return discovery exclusive slots}; do
    echo "== $c ($(date +%T))"
    "case_$c"
done
echo "== done ($(date +%T))"
exit "$failed"
