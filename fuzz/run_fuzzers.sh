#!/bin/sh
# Runs every libFuzzer target of a RESQ_LIBFUZZER build for SECONDS each, on a scratch copy of
# its seed corpus, and fails when any of them finds a crash, a leak or a sanitizer error.
#   CXX=clang++ cmake -S . -B build-fuzz -DRESQ_LIBFUZZER=ON
#   cmake --build build-fuzz --target fuzz_decode_reply fuzz_decode_name
#   fuzz/run_fuzzers.sh build-fuzz 60
set -eu
if [ "$#" -ne 2 ]; then
    echo "usage: run_fuzzers.sh BUILD_DIR SECONDS" >&2
    exit 2
fi
build_dir=$1
seconds=$2
source_dir=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
for target in fuzz_decode_reply fuzz_decode_name; do
    binary=$build_dir/fuzz/$target
    if [ ! -x "$binary" ]; then
        echo "$target: $binary not built" >&2
        status=1
        continue
    fi
    corpus=$work/$target/corpus
    mkdir -p "$corpus" "$work/$target/artifacts"
    cp "$source_dir/corpus/${target#fuzz_}"/* "$corpus"/
    echo "== $target for ${seconds}s"
    if ! "$binary" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$work/$target/artifacts/" "$corpus" >"$work/$target/log" 2>&1; then
        tail -n 60 "$work/$target/log" >&2
        mkdir -p "$build_dir/fuzz/artifacts"
        cp "$work/$target/artifacts"/* "$build_dir/fuzz/artifacts/" 2>/dev/null || true
        echo "$target: FAILED; crashing inputs copied to $build_dir/fuzz/artifacts" >&2
        status=1
    else
        grep -E '^stat::number_of_executed_units|^Done' "$work/$target/log" || true
    fi
done
exit "$status"
