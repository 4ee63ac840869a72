#!/usr/bin/env bash
# Runs a test program as an unprivileged user: the tests whose outcome
# depends on not being root (file permissions, a tty's exclusive mark, another
# user's /proc entries) then take the path a technician's session takes.
#
# As root (CI), the whole program runs as nobody, from a copy in a scratch
# folder that nobody owns, so the build folder's permissions don't matter;
# every test must pass and none may be skipped. As anyone else, only the tests
# meant for an unprivileged user run (their suites end in AsUser; the
# program's ordinary run leaves them out).
set -euo pipefail
program=$1
shift
if [[ $(id -u) -ne 0 ]]; then
    # The program's ordinary run is unprivileged already; 77 marks it skipped.
    "$program" --gtest_list_tests --gtest_filter='*AsUser*' | grep -q '^  ' || exit 77
    exec "$program" --gtest_filter='*AsUser*' "$@"
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$program" "$scratch/"
chown -R nobody:nogroup "$scratch"
chmod 0700 "$scratch"
copy="$scratch/$(basename "$program")"
log="$scratch/output"

status=0
setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=-all --reset-env \
    env HOME="$scratch" TMPDIR="$scratch" XDG_RUNTIME_DIR="$scratch" \
    QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 \
    "$copy" "$@" >"$log" 2>&1 || status=$?
cat "$log"
if [[ $status -ne 0 ]]; then
    echo "run-as-user: $(basename "$program") failed as nobody (exit $status)" >&2
    exit 1
fi
if grep -q '^\[  SKIPPED \]' "$log"; then
    echo "run-as-user: tests were skipped as nobody; each must run here" >&2
    exit 1
fi
if ! grep -Eq '^\[  PASSED  \] [1-9]' "$log"; then
    echo "run-as-user: no test ran" >&2
    exit 1
fi
