#!/usr/bin/env bash
# The README's gathering recipe, run: a bench PC's rsyslogd (listening on a
# socket of its own, which the programs are pointed at with
# CORVANE_LOG_SOCKET) forwards to a gathering rsyslogd over TCP on the
# loopback address, with the README's own configuration lines, only the
# host, port, socket and file changed. A read, a bench of three simulated
# chargers and debug texts go through them; history must then list every
# record from the gathered file, with no damaged line and no debug text.
# Usage: records-rsyslog.sh BIN_DIR TOOL_DIR README
set -euo pipefail
bin=$1 tools=$2 readme=$3
rsyslogd=$(command -v rsyslogd || echo /usr/sbin/rsyslogd)
[[ -x $rsyslogd ]] || { echo "rsyslogd is missing (deps/debian-packages.txt)"; exit 77; }
dir=$(mktemp -d /tmp/corvane-rsyslog-XXXXXX)
cleanup() {
    for pidfile in "$dir"/*.pid; do
        [[ -f $pidfile ]] && kill "$(cat "$pidfile")" 2>/dev/null || true
    done
    rm -rf "$dir"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; for f in "$dir"/*.out; do echo "== $f"; cat "$f"; done; exit 1; }
# waits at most $1 tenths of a second for the command after it
wait_for() {
    local tenths=$1; shift
    for ((k = 0; k < tenths; ++k)); do "$@" && return 0; sleep 0.1; done
    return 1
}

# The README's lines: the bench PC's forwarding line and the gathering host's block.
forward=$(grep -F "if \$programname == 'corvane' then @@records.example:514" "$readme") ||
    fail "README has no forwarding line"
gather=$(sed -n '/^# \/etc\/rsyslog.d\/60-corvane.conf on records.example$/,/^```$/p' "$readme" |
    sed -e '1d' -e '$d')
[[ $gather == *'port="514"'* && $gather == *'/srv/corvane/records.log'* ]] ||
    fail "README has no gathering block"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

mkdir -p "$dir/gather" "$dir/bench" "$dir/state"
{
    echo "global(workDirectory=\"$dir/gather\")"
    echo "${gather//port=\"514\"/port=\"$port\" address=\"127.0.0.1\"}" |
        sed -e "s|/srv/corvane/records.log|$dir/records.log|"
} > "$dir/gather.conf"
{
    echo "global(workDirectory=\"$dir/bench\")"
    echo "module(load=\"imuxsock\" SysSock.Use=\"off\")"
    echo "input(type=\"imuxsock\" Socket=\"$dir/log\")"
    echo "${forward//records.example:514/127.0.0.1:$port}"
} > "$dir/bench.conf"

"$rsyslogd" -n -f "$dir/gather.conf" -i "$dir/gather.pid" > "$dir/gather.out" 2>&1 &
wait_for 100 python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" ||
    fail "the gathering rsyslogd does not listen on $port"
"$rsyslogd" -n -f "$dir/bench.conf" -i "$dir/bench.pid" > "$dir/bench.out" 2>&1 &
wait_for 100 test -S "$dir/log" || fail "the bench PC's rsyslogd made no socket"

export CORVANE_LOG_SOCKET=$dir/log XDG_STATE_HOME=$dir/state
timeout 60 "$bin/corvane-cli" --simulate read > "$dir/read.out" 2>&1 || fail "read"
"$tools/debug_text" "WriteFile (in Writer)" "Communications Error! Verify the cable"
timeout 120 "$bin/corvane-cli" --simulate bench --chargers 3 > "$dir/bench-run.out" 2>&1 ||
    fail "bench"
"$tools/debug_text" "WriteFile (in Writer)"

journal=$dir/state/corvane/records.jsonl
want=$(wc -l < "$journal")
[[ $want -eq 4 ]] || fail "the journal holds $want records, not 4"
gathered() { [[ $(grep -c 'corvane\[' "$dir/records.log" 2>/dev/null) -ge $want ]]; }
wait_for 200 gathered || fail "the gathered file did not get $want records"
sleep 0.5  # a debug text sent last would have arrived by now
! grep -q -e 'WriteFile' -e 'Communications Error' "$dir/records.log" ||
    fail "debug texts were gathered as records"

"$bin/corvane-cli" history --file "$dir/records.log" --json > "$dir/history.out" 2> "$dir/history-err.out" ||
    fail "history"
listed=$(wc -l < "$dir/history.out")
[[ $listed -eq $want ]] || fail "history lists $listed records of $want"
[[ ! -s $dir/history-err.out ]] || fail "history skipped something"
# the same records as the PC's own journal, device by device
diff <(grep -o '"deviceId":"[^"]*"' "$journal" | sort) \
    <(grep -o '"deviceId":"[^"]*"' "$dir/history.out" | sort) || fail "other records gathered"
echo "PASS: $want records gathered whole"
