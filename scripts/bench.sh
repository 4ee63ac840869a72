#!/usr/bin/env bash
# Runs every benchmark that was built.
set -euo pipefail
build=${1:-build}
for b in "$build"/bench/*; do
    [[ -x "$b" ]] && "$b"
done
