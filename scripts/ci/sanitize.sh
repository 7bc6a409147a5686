#!/usr/bin/env bash
# Builds the whole test suite with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs it. Left to the plain run: the soak
# (it carries its records there), the install test (its consumer project is
# built without the sanitizers, so it cannot load instrumented libraries), the
# Python test and the C# and Pascal clients (their runtimes cannot load them
# either).
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
source "$here/scripts/lib/setup.sh"

need_packages cmake g++ make libgtest-dev binutils nlohmann-json3-dev python3 libbenchmark-dev libsqlite3-dev \
  pkg-config nats-server libnats-dev openssl groff-base
build_dir="$here/build/sanitize"
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON -DZEB_BUILD_BENCHMARK=ON \
  "-DCMAKE_CXX_FLAGS=$flags" "-DCMAKE_EXE_LINKER_FLAGS=$flags" "-DCMAKE_SHARED_LINKER_FLAGS=$flags" \
  >/dev/null
cmake --build "$build_dir" -j "$(nproc)" >/dev/null
# The sanitizer's dlopen stands in for the caller, so a program's own run
# path no longer finds the libraries it loads by name.
LD_LIBRARY_PATH="$build_dir/master:$build_dir/follower" \
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" -LE soak -E '^(Install|Python|Clients)\.'
