#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for FUZZ_SECONDS (default 60) on a copy
# of its seed corpus. Any crash, hang, leak or sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
build=$(pwd)/${FUZZ_BUILD_DIR:-build-fuzz}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DKESTRINE_ASAN=ON -DKESTRINE_FUZZ=ON -DKESTRINE_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target fuzzers

status=0
for corpus in fuzz/corpus/*/; do
    name=$(basename "$corpus")
    target="$build/fuzz/fuzz_$name"
    work="$build/fuzz/corpus-$name"
    rm -rf "$work" && mkdir -p "$work" && cp "$corpus"/* "$work"/
    echo "fuzz: $name for ${seconds}s"
    if ! (cd "$build/fuzz" && "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=1 "$work" 2>"fuzz-$name.log"); then
        echo "fuzz: $name FAILED; see $build/fuzz/fuzz-$name.log and the crash file beside it" >&2
        tail -n 40 "$build/fuzz/fuzz-$name.log" >&2
        status=1
    else
        grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$build/fuzz/fuzz-$name.log" || true
    fi
done
exit $status
