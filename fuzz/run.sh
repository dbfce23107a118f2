#!/usr/bin/env bash
# Runs each fuzz target for a set time and fails on any finding.
#
#   fuzz/run.sh <build dir> <seconds> <target>...
#
# Each target starts from its committed seeds in fuzz/corpus/<target>/ and
# keeps what it finds in <build dir>/corpus/<target>/; a crashing input is
# written to <build dir>/findings/<target>/. libFuzzer's final statistics
# (executions, coverage) are printed for every target.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

build_dir=$1
seconds=$2
shift 2

failed=()
for target in "$@"; do
    program="$build_dir/fuzz/fuzz_$target"
    corpus="$build_dir/corpus/$target"
    findings="$build_dir/findings/$target"
    mkdir -p "$corpus" "$findings"
    # The Access reader's seeds are the shared fixtures, real files of up to
    # 3 MB; a damaged one may keep the reader until its time bound (20 s and
    # more), which the program then reports as a failure, not a hang.
    seeds=fuzz/corpus/$target
    options=(-timeout=10)
    if [ "$target" = accessfile ]; then
        seeds=../shared/fixtures
        options=(-timeout=60 -max_len=4000000)
    fi
    echo "== fuzz_$target: $seconds s"
    if ! "$program" -max_total_time="$seconds" "${options[@]}" -print_final_stats=1 \
            -artifact_prefix="$findings/" "$corpus" "$seeds" \
            >"$build_dir/fuzz_$target.log" 2>&1; then
        failed+=("$target")
        tail -n 40 "$build_dir/fuzz_$target.log"
        echo "== fuzz_$target: FINDING, input in $findings/"
    else
        grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::new_units_added)' \
            "$build_dir/fuzz_$target.log" || true
    fi
done

if [ "${#failed[@]}" -gt 0 ]; then
    echo "fuzz: findings in ${failed[*]}" >&2
    exit 1
fi
echo "fuzz: no findings in $*"
