#!/usr/bin/env bash
# Runs every test of zeb from a clean clone: installs what this machine lacks,
# configures, builds and runs the whole suite, then the Windows stage (the
# DLLs cross-built and tested under Wine, scripts/ci/windows.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/lib/setup.sh"

need_packages cmake g++ make libgtest-dev binutils nlohmann-json3-dev libbenchmark-dev libsqlite3-dev \
  python3 python3-prometheus-client pkg-config nats-server libnats-dev openssl groff-base
# The C# and Pascal clients that compile the integration guide's declarations.
need_packages mono-mcs mono-runtime fp-compiler
# The build a new user makes first: only the compiler and CMake.
bash "$here/scripts/ci/plain_build.sh"

# The suite, with the benchmark's quick run among its tests.
build_dir="$here/build/test"
cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
  -DZEB_BUILD_BENCHMARK=ON >/dev/null
cmake --build "$build_dir" -j "$(nproc)"
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"

bash "$here/scripts/ci/windows.sh"
# The suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
bash "$here/scripts/ci/sanitize.sh"
# Each libFuzzer target for a bounded time.
bash "$here/scripts/ci/fuzz.sh"
