#!/usr/bin/env bash
# The first build of a new user, on a machine with only a compiler and CMake:
# the test dependencies are hidden from CMake. A plain configure and build
# gives the libraries and zebctl and says how tests would be built; asking
# for the tests names the missing packages; and inside another project zeb
# adds no tests and no install rules and leaves the build type alone.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
work="$here/build/plain"
rm -rf "$work"
mkdir -p "$work"
hidden=(-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=ON
  -DCMAKE_DISABLE_FIND_PACKAGE_Python3=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
  -DCMAKE_DISABLE_FIND_PACKAGE_SQLite3=ON -DZEB_GOOGLETEST_SOURCE="$work/no-googletest")

# fail WHAT: stops the run with WHAT on stderr.
fail() {
  echo "plain build: $1" >&2
  exit 1
}

output=$(cmake -S "$here" -B "$work/build" "${hidden[@]}" 2>&1) || fail "configure failed: $output"
grep -q "libgtest-dev" <<<"$output" && grep -q "BUILD_TESTING=OFF" <<<"$output" ||
  fail "configure did not say which package the tests need: $output"
cmake --build "$work/build" -j "$(nproc)" >/dev/null
cmake --install "$work/build" --prefix "$work/prefix" >/dev/null
for file in lib/libzebmaster.so.1 lib/libzebfollower.so.1 bin/zebctl include/zeb/version.h \
  lib/cmake/zeb/zebConfig.cmake lib/pkgconfig/zeb.pc share/doc/zeb/LICENSE; do
  [ -e "$work/prefix/$file" ] || fail "the install lacks $file"
done
"$work/prefix/bin/zebctl" --help >/dev/null || fail "the installed zebctl does not run"
ctest --test-dir "$work/build" -N | grep -q "Total Tests: 0" || fail "tests were added without their dependencies"

# Asked for, the tests need their packages.
if output=$(cmake -S "$here" -B "$work/asked" -DBUILD_TESTING=ON "${hidden[@]}" 2>&1); then
  fail "configure with -DBUILD_TESTING=ON went on without GoogleTest"
fi
grep -q "libgtest-dev" <<<"$output" || fail "configure did not name libgtest-dev: $output"

# As a subproject.
mkdir "$work/parent"
cat >"$work/parent/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.20)
project(parent LANGUAGES C CXX)
include(CTest)
add_subdirectory("$here" zeb)
add_executable(parent_master "$here/tests/install/consumer/master.c")
target_link_libraries(parent_master PRIVATE zeb::master)
CMAKE
cmake -S "$work/parent" -B "$work/parent/build" >/dev/null
ctest --test-dir "$work/parent/build" -N | grep -q "Total Tests: 0" || fail "zeb added tests to its parent"
grep -q "^CMAKE_BUILD_TYPE:STRING=$" "$work/parent/build/CMakeCache.txt" || fail "zeb set its parent's build type"
cmake --build "$work/parent/build" --target parent_master -j "$(nproc)" >/dev/null
cmake --install "$work/parent/build" --prefix "$work/parent/prefix" >/dev/null
[ -z "$(ls -A "$work/parent/prefix" 2>/dev/null)" ] || fail "zeb installed files as a subproject"
echo "plain build: libraries and zebctl built and installed without test dependencies; subproject clean"
