#!/usr/bin/env bash
# scripts/fuzz.sh [BUILDDIR]: builds the libFuzzer harnesses of tests/fuzz
# with clang, ASan and UBSan in their own build folder (default build-fuzz)
# and runs each for FUZZ_SECONDS (default 60) over a scratch copy of its
# saved corpus and past findings, FUZZ_JOBS (default: the processors) at a
# time. New inputs stay in the scratch copy; an input that crashes a harness
# is written to tests/fuzz/findings/<harness>/, to be mended and kept, and
# fails the run.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_JOBS:-$(nproc)}
fuzz_dir=$root/tests/fuzz

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCORVANE_BUILD_FUZZERS=ON \
    "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target corvane_fuzzers

run_dir=$build/fuzz-run
rm -rf "$run_dir"
mkdir -p "$run_dir"
build=$(cd "$build" && pwd)
run_dir=$build/fuzz-run

# One harness: its own corpus copy, log and scratch folder for temporary files.
run_one() {
    local name=$1
    local corpus=$run_dir/$name/corpus findings=$fuzz_dir/findings/$name
    mkdir -p "$corpus" "$run_dir/$name/tmp" "$findings"
    cp "$fuzz_dir/corpus/$name"/* "$corpus"/
    find "$findings" -maxdepth 1 -type f -exec cp {} "$corpus"/ \;
    local dict=()
    if [[ -f $fuzz_dir/$name.dict ]]; then
        dict=(-dict="$fuzz_dir/$name.dict")
    fi
    TMPDIR=$run_dir/$name/tmp \
        ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "$build/fuzz/$name" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$findings/" "${dict[@]}" "$corpus" >"$run_dir/$name.log" 2>&1
}

harnesses=()
for exe in "$build"/fuzz/*; do
    [[ -x $exe && -f $exe ]] && harnesses+=("$(basename "$exe")")
done

# Each run leaves its exit status in <harness>.status when it ends.
running=0
failed=()
reap() {
    wait -n || true
    running=$((running - 1))
}
for name in "${harnesses[@]}"; do
    while ((running >= jobs)); do
        reap
    done
    echo "fuzzing $name for ${seconds}s"
    (
        status=0
        run_one "$name" || status=$?
        echo "$status" >"$run_dir/$name.status"
    ) &
    running=$((running + 1))
done
wait
for name in "${harnesses[@]}"; do
    grep -h '^stat::number_of_executed_units' "$run_dir/$name.log" | sed "s/^/$name: /" || true
    if [[ $(cat "$run_dir/$name.status" 2>/dev/null) != 0 ]]; then
        failed+=("$name")
    fi
done

if ((${#failed[@]} > 0)); then
    for name in "${failed[@]}"; do
        echo "== $name failed; its log is $run_dir/$name.log"
        grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error|fuzz check failed|artifact_prefix|Test unit written)' \
            "$run_dir/$name.log" || tail -20 "$run_dir/$name.log"
    done
    exit 1
fi
echo "fuzzing: ${#harnesses[@]} harnesses ran ${seconds}s each without a finding"
