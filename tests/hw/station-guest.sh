#!/bin/bash
# The guest side of make hwtest-station: runs as a service of systemd, the
# guest's first process (see station-init), on a writable overlay of the
# host's root. It sets the station up the way a bench's administrator would,
# from the files the package ships (debian/): the unit, its user, the
# settings file, and a slots file made by `corvane-cli ports --by-path`.
# Then it runs the station as that service against the kernel's ftdi_sio
# (loaded by udevd when an adapter is plugged in, as on a bench PC), with the
# host playing the chargers and fetching the page through QEMU's forwarded
# port. Prints one PASS or FAIL line per check; exits 1 when any failed.
# Usage: station-guest.sh OUT_DIR BUILD_DIR
out=$1
build=$2
tree=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source-path=SCRIPTDIR source=rig-lib.sh
. "$(dirname "$0")/rig-lib.sh"
export LC_ALL=C
unit=corvane-station
state=/var/lib/corvane

records() { journalctl -q -t corvane -o cat --no-pager; }
said() { journalctl -q -t corvane-station -o cat --no-pager; }
main_pid() { systemctl show -p MainPID --value "$unit"; }
# The waits are bounded by the clock, not by a count of tries: under TCG a
# journalctl alone can take a second.
wait_for() {  # SECONDS COUNT TEXT COMMAND...: until COMMAND's output has COUNT lines with TEXT
    local end=$((SECONDS + $1)) count=$2 text=$3
    shift 3
    until (($("$@" | grep -cF -- "$text") >= count)); do
        ((SECONDS < end)) || { echo "  no $count x '$text' in $* after $1 s"; return 1; }
        sleep 0.5
    done
}
label_of() {  # N: the slots file's label for adapter N
    sed -n "s/^\(.*[^ ]\) *= *[^ ]*-usb-0:$1:1\.0-port0\$/\1/p" /etc/corvane/slots
}
# A fresh charger behind adapter N, plugged in.
fresh() {  # N [SIM OPTIONS]
    local n=$1
    shift
    host charger "usb$n" "$@" && host plug "usb$n" && wait_usb "$n"
}

setup() {
    udevadm settle -t 20
    check "0 systemd is the first process" test "$(cat /proc/1/comm)" = systemd
    check "0 no USB serial driver is loaded yet" test ! -e /sys/module/usbserial
    # Each adapter plugged in once to name its place, then pulled again.
    for n in 1 2 3 4; do host plug "usb$n" && wait_usb "$n" || echo "adapter $n missing"; done
    mkdir -p /etc/corvane
    "$build/bin/corvane-cli" ports --by-path > /etc/corvane/slots
    cat /etc/corvane/slots
    check "0 ports --by-path names a slot for each adapter" \
        test "$(grep -c '^Slot [1-4] = .*-usb-0:[1-4]:1.0-port0$' /etc/corvane/slots)" -eq 4
    for n in 1 2 3 4; do host unplug "usb$n" && wait_usb_gone "$n"; done
    modprobe -r ftdi_sio usbserial
    check "0 the USB serial drivers are unloaded again" test ! -e /sys/module/usbserial

    # What the package installs, and what its postinst does.
    install -m 755 "$build/bin/corvane-cli" /usr/bin/corvane-cli
    install -m 644 "$tree/debian/corvane-cli.corvane-station.service" "/etc/systemd/system/$unit.service"
    install -m 644 "$tree/debian/station/station.conf" /etc/corvane/station.conf
    systemd-sysusers "$tree/debian/corvane-cli.sysusers"
    check "0 the sysusers file makes _corvane, at home in $state" \
        test "$(getent passwd _corvane | cut -d: -f6)" = "$state"
    # The administrator's part: the ports, and the page on the network.
    printf '%s\n' 'ports = /dev/serial/by-path/*-usb-*' 'listen = 0.0.0.0:8642' >> /etc/corvane/station.conf
    systemctl daemon-reload
    local nic
    nic=$(ip -o link show | awk -F': ' '$2 != "lo" {print $2; exit}')
    ip link set "$nic" up && ip addr add 10.0.2.15/24 dev "$nic"
}

case_service() {
    systemctl start "$unit"
    check "1 the service starts" systemctl is-active -q "$unit"
    local pid uid dialout
    pid=$(main_pid)
    uid=$(awk '/^Uid:/ {print $2}' "/proc/$pid/status")
    dialout=$(getent group dialout | cut -d: -f3)
    check "1 it runs as _corvane (uid $uid)" test "$uid" = "$(id -u _corvane)"
    check "1 ... with dialout among its groups" grep -qE "^Groups:.*\b$dialout\b" "/proc/$pid/status"
    check "1 the USB serial driver was loaded before it started (its device list needs ttyUSB)" \
        grep -qw ttyUSB /proc/devices
    local token
    token=$(stat -c '%U %a' "$state/station.token" 2>&1)
    check "1 its token is the service user's alone ($token)" test "$token" = "_corvane 600"
    local exposure
    exposure=$(systemd-analyze security "$unit" 2>&1 | sed -n 's/.*Overall exposure level for .*: \([0-9.]*\) .*/\1/p')
    check "1 systemd-analyze security rates it $exposure, at most 2.0" \
        awk -v e="${exposure:-99}" 'BEGIN { exit !(e <= 2.0) }'
}

case_upgrade() {
    local label
    label=$(label_of 1)
    fresh 1
    wait_for 180 1 '"outcome":"upgraded"' records
    check "2 the charger plugged in after the start is upgraded, recorded under ident corvane" \
        test "$(records | grep -c '"outcome":"upgraded"')" -eq 1
    check "2 the record names its slot ($label)" records_have "\"slot\":\"$label\""
    check "2 every line under ident corvane is a record" test "$(records | grep -vc '^{"time":')" -eq 0
    check "2 the station's own lines go under corvane-station" wait_for 10 1 'upgraded 2.09 -> 2.10e' said
    check "2 history reads the record from $state/records.jsonl" \
        history_has "$state/records.jsonl" upgraded
    host stop usb1
    check "2 the charger checked the image as sound" grep -q '"finalImageSound": true' "$out/sim-usb1.json"
}
records_have() { records | grep -qF -- "$1"; }
history_has() {  # FILE OUTCOME
    "$build/bin/corvane-cli" history --file "$1" --outcome "$2" --json | grep -q "\"outcome\":\"$2\""
}

# The page through QEMU's port forward: reading is open, control needs the
# token.
case_page() {
    local token
    token=$(cat "$state/station.token")
    host http page GET /
    check "3 the page is served to the host ($(cat "$out/http-page.code"))" \
        test "$(cat "$out/http-page.code")" = 200
    host http slots GET /api/slots
    check "3 the slots list the adapter's label" grep -qF "$(label_of 1)" "$out/http-slots.body"
    host http pause-none POST /api/pause
    check "3 pausing without the token is refused" test "$(cat "$out/http-pause-none.code")" = 401
    host http pause-wrong POST /api/pause "${token//[0-9a-f]/0}"
    check "3 ... and with another token" test "$(cat "$out/http-pause-wrong.code")" = 401
    host http pause POST /api/pause "$token"
    host http resume POST /api/resume "$token"
    check "3 pause and resume with the token are taken" \
        test "$(cat "$out/http-pause.code") $(cat "$out/http-resume.code")" = "202 202"
}

# Killed outright, the service comes back; a mistake in its settings stops
# it for good, with the line in its log.
case_restart() {
    local before
    before=$(main_pid)
    kill -KILL "$before"
    check "4 killed, it is started again" wait_new_pid "$before"
    cp /etc/corvane/station.conf /tmp/station.conf
    echo 'speed = fast' >> /etc/corvane/station.conf
    systemctl restart "$unit"
    # A restart to come would show as activating (auto-restart), not failed.
    check "4 a bad settings line leaves it failed, not restarting" \
        wait_state failed
    check "4 ... exit 2" test "$(systemctl show -p ExecMainStatus --value "$unit")" = 2
    check "4 ... saying which line" wait_for 5 1 "unknown setting 'speed'" said
    cp /tmp/station.conf /etc/corvane/station.conf
    systemctl reset-failed "$unit"
    systemctl start "$unit"
    check "4 mended, it starts again" systemctl is-active -q "$unit"
}
wait_state() {  # STATE: up to 30 s
    local end=$((SECONDS + 30))
    until [[ $(systemctl show -p ActiveState --value "$unit") == "$1" ]]; do
        ((SECONDS < end)) || return 1
        sleep 0.5
    done
}
wait_new_pid() {  # OLD: up to 30 s (RestartSec is 5)
    local end=$((SECONDS + 30)) pid
    until pid=$(main_pid) && [[ $pid != 0 && $pid != "$1" ]] && systemctl is-active -q "$unit"; do
        ((SECONDS < end)) || return 1
        sleep 0.5
    done
}

# systemctl stop in the middle of an upload: the charger gets CAN CAN, and
# the service ends cleanly, well within its stop timeout.
case_stop() {
    local start took
    fresh 2
    # The station's lines name a labelled slot by its label.
    wait_for 120 1 "$(label_of 2): block 20 of" said
    start=$(date +%s)
    systemctl stop "$unit"
    took=$(($(date +%s) - start))
    check "5 systemctl stop mid-upload ends the service in $took s, as a success" \
        test "$(systemctl show -p Result --value "$unit")" = success
    host unplug usb2  # the host's socat flushes what it still held
    local tail
    tail=$(tail -c 2 "$out/sent-usb2.bin" | od -An -tx1 | tr -d ' \n')
    check "5 CAN CAN reached the charger (last bytes: $tail)" test "$tail" = 1818
    check "5 the stopped upload is recorded as failed in its slot" \
        test "$(records | grep -F "\"slot\":\"$(label_of 2)\"" | grep -c '"outcome":"failed"')" -eq 1
}

setup
cases=$(cat "$out/cases" 2>/dev/null)
for c in ${cases:-service upgrade page restart stop}; do
    echo "== $c ($(date +%T))"
    "case_$c"
done
echo "== done ($(date +%T))"
journalctl -o short-monotonic --no-pager > "$out/journal.txt"
exit "$failed"
