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
