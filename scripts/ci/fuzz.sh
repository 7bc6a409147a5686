#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers on) and runs each for a bounded time over its corpus from
# tests/fuzz/corpus. New inputs stay in the build directory.
#   bash scripts/ci/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
source "$here/scripts/lib/setup.sh"

need_packages cmake make clang libclang-rt-14-dev
seconds=${1:-60}
build_dir="$here/build/fuzz"
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "-DCMAKE_CXX_FLAGS=$flags" \
  -DZEB_BUILD_TESTS=OFF -DZEB_BUILD_FUZZERS=ON >/dev/null
targets=(fuzz_index_text fuzz_read_directory)
cmake --build "$build_dir" -j "$(nproc)" --target "${targets[@]}" >/dev/null

for target in "${targets[@]}"; do
  work="$build_dir/corpus/$target"
  log="$build_dir/$target.log"
  mkdir -p "$work" "$build_dir/artifacts"
  if ! "$build_dir/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$build_dir/artifacts/$target-" "$work" "$here/tests/fuzz/corpus/$target" \
      >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz: $target FAILED (input saved under $build_dir/artifacts)"
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz: $target passed, $runs executions in $seconds s"
done
