#!/usr/bin/env bash
# Runs every test of zeb from a clean clone: installs what this machine lacks,
# configures, builds and runs the whole suite, then the Windows stage (the
# DLLs cross-built and tested under Wine, tools/ci/windows.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/tools/lib/setup.sh"

need_packages cmake g++ make libgtest-dev binutils nlohmann-json3-dev libbenchmark-dev libsqlite3-dev
build_dir="$here/build/test"
cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"

bash "$here/tools/ci/windows.sh"
# The suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
bash "$here/tools/ci/sanitize.sh"
# Each libFuzzer target for a bounded time.
bash "$here/tools/ci/fuzz.sh"
