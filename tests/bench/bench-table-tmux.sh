#!/usr/bin/env bash
# tests/bench/bench-table-tmux.sh BIN_DIR
# corvane-cli bench's live table in a real terminal emulator: tmux, at 80x24,
# thirty simulated chargers of which three refuse block 10, the table
# starting below a few lines already on the screen. Each live frame must be
# drawn over the one before, so that afterwards the terminal (its history and
# its screen together) holds what was there before, the last frame once, the
# summary and nothing else: one header line, each charger's row once, and no
# more history than the lines before the bench and the last listing.
set -euo pipefail
bin=$(cd "${1:?usage: bench-table-tmux.sh BIN_DIR}" && pwd)
command -v tmux >/dev/null || {
    echo "FAIL: tmux is not installed (deps/debian-packages.txt)" >&2
    exit 1
}
scratch=$(mktemp -d)
socket="corvane-bench-table-$$"
sim_pid=
cleanup() {
    tmux -L "$socket" kill-server 2>/dev/null || true
    [[ -z $sim_pid ]] || kill "$sim_pid" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    [[ ! -f $scratch/capture ]] || { echo "--- the terminal, history and screen:"; cat "$scratch/capture"; } >&2
    exit 1
}
# wait_for SECONDS COMMAND...: polls COMMAND every tenth of a second.
wait_for() {
    local tenths=$(($1 * 10))
    shift
    for ((i = 0; i < tenths; i++)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# Thirty chargers at full speed (no pacing, no reply delay, the boot loader's
# "C" every 20 ms); chargers 5, 17 and 26 refuse block 10 until the upload
# gives up.
timeout -k 5 150 "$bin/corvane-sim" --chargers 30 --link "$scratch/charger-%d" --no-pacing \
    --reply-delay 0 --start-interval 20 --fault 5:--nak-block=10:999 \
    --fault 17:--nak-block=10:999 --fault 26:--nak-block=10:999 >"$scratch/sim.out" &
sim_pid=$!
plugged() { [[ $(grep -c "^PTY " "$scratch/sim.out" 2>/dev/null) -eq 30 ]]; }
wait_for 20 plugged || fail "corvane-sim did not plug in 30 chargers"

# Five lines before the bench, so its first frame starts below the screen's
# top. The pane's program stays (until the server is killed) after saying how
# the bench ended: tmux may not show the last output of a program that has
# ended.
preamble=5
cat >"$scratch/run.sh" <<EOF
for n in \$(seq 1 $preamble); do echo "before the bench \$n"; done
XDG_STATE_HOME="$scratch/state" XDG_CONFIG_HOME="$scratch/config" \\
    timeout -k 5 120 "$bin/corvane-cli" bench --port "$scratch/charger-*"
echo "bench exit \$?"
exec sleep 300
EOF
printf 'set -g history-limit 100000\n' >"$scratch/tmux.conf"
tmux -L "$socket" -f "$scratch/tmux.conf" new-session -d -x 80 -y 24 "sh $scratch/run.sh"
height=$(tmux -L "$socket" display -p '#{pane_height}')
[[ $height -eq 24 ]] || fail "the pane is $height lines high, not 24"
capture() { tmux -L "$socket" capture-pane -p -S - -E - >"$scratch/capture"; }
ended() { capture && grep -q '^bench exit ' "$scratch/capture"; }
wait_for 130 ended || fail "the bench did not end within 130 s"
history=$(tmux -L "$socket" display -p '#{history_size}')
capture=$(cat "$scratch/capture")

[[ $capture == *"bench exit 1"* ]] || fail "the bench did not exit 1 (three failed)"
[[ $capture == *$'\n30 chargers: 27 upgraded, 3 failed\n'* ]] || fail "no summary line"
headers=$(grep -c '^PORT ' <<<"$capture" || true)
[[ $headers -eq 1 ]] || fail "$headers table headers: frames were not drawn over each other"
for n in $(seq 1 30); do
    rows=$(grep -cE "(^| )VC-4017-0032-$n " <<<"$capture" || true)
    [[ $rows -eq 1 ]] || fail "charger $n has $rows rows in the terminal, not one"
done
for n in 5 17 26; do
    grep -qE "^  (.*/)?charger-$n: The upload failed at block 10 of 101\." <<<"$capture" ||
        fail "charger $n's reason is not under the table"
done
# The last listing: from its header to the summary line.
listing=$(sed -n '/^PORT /,/^30 chargers:/p' <<<"$capture" | wc -l)
[[ $history -le $((preamble + listing)) ]] ||
    fail "the terminal's history holds $history lines; the listing and what preceded it $((preamble + listing))"
echo "PASS: one frame left of the live table; history $history lines, listing $listing lines"
