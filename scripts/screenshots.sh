#!/usr/bin/env bash
# Renders the pictures of the port setup, the bench window and the trends
# window for the README (docs/port-setup.png, docs/bench.png,
# docs/trends.png) off screen, against simulated
# chargers. Settings and records go to a scratch folder; nothing of yours is
# read or changed. The main window's picture is `corvane --screenshot FILE`.
set -euo pipefail
build=${1:-build}
out=${2:-docs}
corvane="$build/bin/corvane"
sim="$build/bin/corvane-sim"
for program in "$corvane" "$sim"; do
    [[ -x "$program" ]] || { echo "$program is not built yet" >&2; exit 1; }
done
# A folder with a short name, as the pictures show its paths.
scratch=/tmp/corvane-bench
mkdir "$scratch" 2>/dev/null || scratch=$(mktemp -d /tmp/corvane-bench.XXXX)
export XDG_CONFIG_HOME="$scratch/config" XDG_STATE_HOME="$scratch/state" QT_QPA_PLATFORM=offscreen

# Four chargers, each with its own device ID, the third refusing block 10
# every time.
ids=()
for k in 1 2 3 4; do ids+=(--fault "$k:--device-id=VC-4017-003$k"); done
coproc SIM { exec "$sim" --chargers 4 --link "$scratch/charger-%d" "${ids[@]}" --fault 3:--nak-block=10:20; }
sim_pid=$SIM_PID
trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; rm -rf "$scratch"' EXIT
for _ in 1 2 3 4; do
    read -r _ <&"${SIM[0]}"  # "PTY <device> <link>": the link is there
done

# The port setup: COM2 on a charger's link, COM3 on an adapter that is not
# plugged in, COM4 on a text file (marked "not a serial device"), COM1 on
# its standard device.
"$build/bin/corvane-cli" ports --map "COM2=$scratch/charger-1" >/dev/null
"$build/bin/corvane-cli" ports --map COM3=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3C2B-if00-port0 >/dev/null
echo "not a port" >"$scratch/notes.txt"
"$build/bin/corvane-cli" ports --map "COM4=$scratch/notes.txt" >/dev/null
"$corvane" --port-setup --screenshot "$out/port-setup.png"
echo "wrote $out/port-setup.png"

# The bench, once it has served all four, under names like those of USB
# adapters in /dev/serial/by-id.
mkdir "$scratch/by-id"
for k in 1 2 3 4; do
    ln -s "$scratch/charger-$k" "$scratch/by-id/usb-FTDI_FT232R_USB_UART_A10K3C2$k-if00-port0"
done
"$corvane" --bench --port "$scratch/by-id/usb-FTDI_*" --screenshot "$out/bench.png"
echo "wrote $out/bench.png"

# The trends window after ten minutes of a charge, eight values ticked. The
# charge is played in virtual time; the clock reads UTC.
TZ=UTC "$build/tests/trends_picture" "$out/trends.png" 960
echo "wrote $out/trends.png"
