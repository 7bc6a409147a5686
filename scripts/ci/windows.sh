#!/usr/bin/env bash
# The Windows stage of the full test run: cross-builds the DLLs, zebctl and
# the Windows test program for 32- and 64-bit Windows, and zebbridge.exe for
# 64-bit Windows where the NATS C client's release source is at hand, checks
# what the DLLs export and what every binary imports, packs and checks the
# release archive, and runs the Windows suite and the host example under Wine
# in a private, temporary prefix (the bridge's test adds a second one).
#
# ZEB_THIRD_PARTY_DIR (default: ../shared/third_party beside the project)
# holds nats.c-3.4.1.tar.gz; without it zebbridge.exe is left out.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
source "$here/scripts/lib/setup.sh"
started=$SECONDS

# Wine runs 32-bit programs with the i386 packages.
need_architecture i386
need_packages cmake make googletest \
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
  wine wine64 wine32:i386 nats-server
third_party=${ZEB_THIRD_PARTY_DIR:-$here/../shared/third_party}

# check_imports OBJDUMP FILE [DLL...]: the program or DLL imports nothing but
# KERNEL32, the C runtime and the system DLLs named, so nothing has to be
# shipped beside it.
check_imports() {
  local imports allowed=" ${*:3} "
  imports=$("$1" -p "$2" | awk '/DLL Name:/ {print $3}')
  for import in $imports; do
    [[ "$allowed" == *" ${import,,} "* ]] && continue
    case "${import,,}" in
      kernel32.dll | msvcrt.dll | api-ms-win-crt-*) ;;
      *) echo "$2 imports $import, which users would have to ship" >&2; return 1 ;;
    esac
  done
  echo "$(basename "$2"): imports" $imports
}

# check_exports OBJDUMP DLL DEF: the DLL exports exactly the names of its
# .def file, undecorated.
check_exports() {
  local expected actual
  expected=$(sed -n '/^EXPORTS/,$p' "$3" | tail -n +2 | awk 'NF {print $1}' | sort)
  actual=$("$1" -p "$2" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    awk 'NR > 1 && NF {print $NF}' | sort)
  if [ "$expected" != "$actual" ]; then
    echo "$2 exports other names than $3:" >&2
    diff <(echo "$expected") <(echo "$actual") >&2 || true
    return 1
  fi
  echo "$(basename "$2"): exports" $actual
}

# zebbridge.exe is a program of its own, so the 64-bit one serves the hosts
# of either architecture: only the x86_64 build makes it. It links the NATS C
# client, built from its release source once per build tree.
bridge=OFF
if [ -f "$third_party/nats.c-3.4.1.tar.gz" ]; then
  bridge=ON
else
  echo "== zebbridge.exe is left out: no $third_party/nats.c-3.4.1.tar.gz (set ZEB_THIRD_PARTY_DIR)"
fi
build_root="$here/build/windows"
for arch in i686 x86_64; do
  build_dir="$build_root/$arch"
  with_bridge=OFF
  [ "$arch" = x86_64 ] && with_bridge=$bridge
  cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-mingw-$arch.cmake" \
    -DZEB_BUILD_BRIDGE=$with_bridge -DZEB_THIRD_PARTY_DIR="$third_party" >/dev/null
  # The archive takes what the build folder holds: no bridge of an earlier run.
  [ "$with_bridge" = ON ] || rm -f "$build_dir/bin/zebbridge.exe"
  if [ "$with_bridge" = ON ]; then
    client_started=$SECONDS
    cmake --build "$build_dir" --target zeb_nats_c -j "$(nproc)" >/dev/null
    echo "== NATS C client for $arch: $((SECONDS - client_started)) s (built once per build tree)"
  fi
  cmake --build "$build_dir" -j "$(nproc)"
  echo "== $arch"
  objdump="$arch-w64-mingw32-objdump"
  check_exports "$objdump" "$build_dir/bin/zebmaster.dll" "$here/master/zebmaster.def"
  check_exports "$objdump" "$build_dir/bin/zebfollower.dll" "$here/follower/zebfollower.def"
  for binary in zebmaster.dll zebfollower.dll zebctl.exe; do
    check_imports "$objdump" "$build_dir/bin/$binary"
  done
  # A network program needs Windows' sockets, which every Windows has: the
  # bridge alone may import WS2_32.
  [ "$with_bridge" = OFF ] || check_imports "$objdump" "$build_dir/bin/zebbridge.exe" ws2_32.dll
done

# The release archive: both architectures' stripped DLLs and zebctl.exe in
# folders of their own, zebbridge.exe in the 64-bit one when it was built, the
# headers, .def files, example, Python declarations, guides, license, change
# log and version, and nothing else. Under 1.5 MB: the DLLs and zebctl.exe
# take about 800 KB, zebbridge.exe (the NATS client and a C++ runtime of its
# own) about 300 KB more, and debug information left in would add megabytes.
# The debug information lies beside it in an archive of its own.
release_dir="$build_root/release"
rm -f "$release_dir"/zeb-*.zip
cmake -S "$here/packaging/windows" -B "$release_dir" \
  -DZEB_WIN32_BUILD="$build_root/i686" -DZEB_WIN64_BUILD="$build_root/x86_64" >/dev/null
(cd "$release_dir" && cpack -C Release >/dev/null)
archive=$(ls "$release_dir"/zeb-*-windows.zip)
top=$(basename "$archive" .zip)
# binaries FOLDER: the binaries the archive holds in that folder.
binaries() {
  echo zebmaster.dll zebfollower.dll zebctl.exe
  [ "$1" = x86 ] || [ "$bridge" = OFF ] || echo zebbridge.exe
}
expected=$(for folder in x86 x64; do
  for binary in $(binaries $folder); do echo "$top/$folder/$binary"; done
done
for header in "$here"/include/zeb/*.h version.h; do echo "$top/include/zeb/$(basename "$header")"; done
for file in README.txt LICENSE.txt CHANGELOG.txt VERSION INTEGRATION.md def/zebmaster.def \
  def/zebfollower.def example/host.c python/zeb.py; do
  echo "$top/$file"
done)
actual=$(cmake -E tar tf "$archive" | grep -v '/$')
if [ "$(sort <<<"$expected")" != "$(sort <<<"$actual")" ]; then
  echo "$archive holds other files than expected:" >&2
  diff <(sort <<<"$expected") <(sort <<<"$actual") >&2 || true
  exit 1
fi
size=$(stat -c %s "$archive")
if [ "$size" -ge 1572864 ]; then
  echo "$archive is $size bytes, over 1.5 MB" >&2
  exit 1
fi
debug_archive="$release_dir/$top-debug.zip"
debug_expected=$(for folder in x86 x64; do
  for binary in $(binaries $folder); do echo "$folder/$binary.debug"; done
done)
if [ "$(sort <<<"$debug_expected")" != "$(cmake -E tar tf "$debug_archive" | grep -v '/$' | sort)" ]; then
  echo "$debug_archive does not hold one .debug file per binary" >&2
  exit 1
fi
unpacked=$(mktemp -d)
(cd "$unpacked" && cmake -E tar xf "$archive")
for folder in x86 x64; do
  objdump=i686-w64-mingw32-objdump
  [ "$folder" = x64 ] && objdump=x86_64-w64-mingw32-objdump
  for binary in $(binaries $folder); do
    file="$unpacked/$top/$folder/$binary"
    if "$objdump" -h "$file" | grep -q '\.debug_info'; then
      echo "$folder/$binary in the archive still carries debug information" >&2
      exit 1
    fi
    strings -el "$file" | grep -qx "$(cat "$unpacked/$top/VERSION")" ||
      { echo "$folder/$binary carries no version resource of this version" >&2; exit 1; }
  done
  check_exports "$objdump" "$unpacked/$top/$folder/zebmaster.dll" "$here/master/zebmaster.def" >/dev/null
  check_exports "$objdump" "$unpacked/$top/$folder/zebfollower.dll" "$here/follower/zebfollower.def" >/dev/null
done
rm -rf "$unpacked"
echo "release archive: $archive ($(wc -l <<<"$actual") files, $((size / 1024)) KB), debug information in $debug_archive"

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
# Some kernels run no 32-bit programs at all, Wine's 32-bit loader included:
# there the 32-bit build is still made and checked above, but only the 64-bit
# suite can run.
suites="i686 x86_64"
if wine --version >/dev/null 2>&1; then
  wineboot --init >/dev/null 2>&1
else
  echo "== this machine cannot run 32-bit programs: the i686 suite is skipped"
  suites="x86_64"
  /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
fi

# A program that crashes ends at once with a failing status: without a
# debugger registered, Wine starts none and holds nothing open.
wine_reg() { if [ "$suites" = x86_64 ]; then /usr/lib/wine/wine64 reg "$@"; else wine reg "$@"; fi; }
wine_reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /f >/dev/null 2>&1 || true

for arch in $suites; do
  echo "== Windows suite, $arch, under Wine"
  ctest --test-dir "$build_root/$arch" --output-on-failure -j "$(nproc)"
done
echo "Windows stage took $((SECONDS - started)) s"
