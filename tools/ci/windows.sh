#!/usr/bin/env bash
# The Windows stage of the full test run: cross-builds both DLLs and the
# Windows test program for 32- and 64-bit Windows, checks what each DLL
# exports and imports, and runs the Windows suite under Wine in a private,
# temporary prefix.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
source "$here/tools/lib/setup.sh"
started=$SECONDS

# Wine runs 32-bit programs with the i386 packages.
need_architecture i386
need_packages cmake make googletest \
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
  wine wine64 wine32:i386

# check_dll OBJDUMP DLL DEF: the DLL exports exactly the names of its .def
# file, undecorated, and imports nothing but KERNEL32 and the C runtime.
check_dll() {
  local objdump=$1 dll=$2 def=$3
  local expected actual imports
  expected=$(sed -n '/^EXPORTS/,$p' "$def" | tail -n +2 | awk 'NF {print $1}' | sort)
  actual=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    awk 'NR > 1 && NF {print $NF}' | sort)
  if [ "$expected" != "$actual" ]; then
    echo "$dll exports other names than $def:" >&2
    diff <(echo "$expected") <(echo "$actual") >&2 || true
    return 1
  fi
  imports=$("$objdump" -p "$dll" | awk '/DLL Name:/ {print $3}')
  for import in $imports; do
    case "${import,,}" in
      kernel32.dll | msvcrt.dll | api-ms-win-crt-*) ;;
      *) echo "$dll imports $import, which users would have to ship" >&2; return 1 ;;
    esac
  done
  echo "$(basename "$dll"): exports $(echo "$actual" | wc -l) plain names; imports" $imports
}

build_root="$here/build/windows"
for arch in i686 x86_64; do
  build_dir="$build_root/$arch"
  cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-mingw-$arch.cmake" >/dev/null
  cmake --build "$build_dir" -j "$(nproc)"
  echo "== $arch"
  check_dll "$arch-w64-mingw32-objdump" "$build_dir/bin/zebmaster.dll" "$here/master/zebmaster.def"
  check_dll "$arch-w64-mingw32-objdump" "$build_dir/bin/zebfollower.dll" "$here/follower/zebfollower.def"
done

# A prefix of our own, served by one wine server for the whole run, then
# stopped and removed. The server and Wine's own background programs start
# here, detached from the output that ctest reads (ctest would wait for them),
# and the prefix is created once up front, which takes a while.
wine_home=$(mktemp -d)
export WINEPREFIX="$wine_home/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
stop_wine() {
  wineserver -k 2>/dev/null || true
  rm -rf "$wine_home"
}
trap stop_wine EXIT
mkdir "$WINEPREFIX"
wineserver -p >/dev/null 2>&1
wineboot --init >/dev/null 2>&1

for arch in i686 x86_64; do
  echo "== Windows suite, $arch, under Wine"
  ctest --test-dir "$build_root/$arch" --output-on-failure -j "$(nproc)"
done
echo "Windows stage took $((SECONDS - started)) s"
