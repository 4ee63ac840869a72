#!/usr/bin/env bash
# The main job against the built-in simulated charger: read the versions, then
# upgrade. Needs no charger and no display.
set -euo pipefail
build=${1:-build}
cli="$build/bin/corvane-cli"
if [[ ! -x "$cli" ]]; then
    echo "corvane-cli is not built yet; built programs: $(ls "$build/bin" 2>/dev/null | tr '\n' ' ')" >&2
    exit 1
fi
"$cli" --simulate read
"$cli" --simulate upgrade

# A bench of four simulated chargers at once, the third falling silent at
# block 40: three are upgraded, the third fails with its reason, and the
# bench exits 1. The records go to a scratch state folder.
sim="$build/bin/corvane-sim"
bench_dir=$(mktemp -d)
coproc SIM { exec "$sim" --chargers 4 --link "$bench_dir/charger-%d" \
    --fault 3:--silent-after-block=40; }
sim_pid=$SIM_PID
trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; rm -rf "$bench_dir"' EXIT
for _ in 1 2 3 4; do
    read -r _ <&"${SIM[0]}"  # "PTY <device> <link>": the link is there
done
echo
echo "\$ corvane-cli bench --port '$bench_dir/charger-*'"
status=0
XDG_STATE_HOME="$bench_dir/state" "$cli" bench --port "$bench_dir/charger-*" || status=$?
echo "exit code $status (1: one charger failed)"
