#!/usr/bin/env bash
# The Windows stage of the full test run: cross-builds the DLLs, zebctl and
# the Windows test program for 32- and 64-bit Windows, and zebbridge.exe for
# 64-bit Windows where the NATS C client's release source is at hand, checks
# what the DLLs export and what every binary imports, packs and checks the
# release archive, links hosts against its import libraries, and runs the
# Windows suite, the host example and the linked hosts under Wine in a
# private, temporary prefix (the bridge's test adds a second one).
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
  wine wine64 wine32:i386 llvm lld clang nats-server
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
# folders of their own, zebbridge.exe in the 64-bit one when it was built,
# the DLLs' import libraries; the headers, .def files, examples, Python
# declarations, guides, license, change log and version, as text with Windows
# line ends, and nothing else. Under 2 MB: the DLLs and zebctl.exe (whose
# shortest-double formatting brings tables of its own) take about 1 MB,
# zebbridge.exe (the NATS client and a C++ runtime of its own) about 300 KB
# more, and debug information left in would add megabytes. The debug
# information lies beside it in an archive of its own, under the same top
# folder.
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
  for library in zebmaster zebfollower; do echo "$top/lib/$folder/$library.lib"; done
done
for header in "$here"/include/zeb/*.h version.h; do echo "$top/include/zeb/$(basename "$header")"; done
for file in README.txt LICENSE.txt CHANGELOG.txt VERSION INTEGRATION.md def/zebmaster.def \
  def/zebfollower.def example/host.c example/linked_master.c example/linked_follower.c python/zeb.py; do
  echo "$top/$file"
done)
actual=$(cmake -E tar tf "$archive" | grep -v '/$')
if [ "$(sort <<<"$expected")" != "$(sort <<<"$actual")" ]; then
  echo "$archive holds other files than expected:" >&2
  diff <(sort <<<"$expected") <(sort <<<"$actual") >&2 || true
  exit 1
fi
size=$(stat -c %s "$archive")
if [ "$size" -ge 2097152 ]; then
  echo "$archive is $size bytes, over 2 MB" >&2
  exit 1
fi
debug_archive="$release_dir/$top-debug.zip"
debug_expected=$(for folder in x86 x64; do
  for binary in $(binaries $folder); do echo "$top/$folder/$binary.debug"; done
done)
if [ "$(sort <<<"$debug_expected")" != "$(cmake -E tar tf "$debug_archive" | grep -v '/$' | sort)" ]; then
  echo "$debug_archive does not hold one .debug file per binary under $top/" >&2
  exit 1
fi
unpacked=$(mktemp -d)
(cd "$unpacked" && cmake -E tar xf "$archive")
version=$(tr -d '\r' <"$unpacked/$top/VERSION")
for file in $(cd "$unpacked/$top" && find . -type f ! -name '*.dll' ! -name '*.exe' ! -name '*.lib'); do
  if grep -qv $'\r$' "$unpacked/$top/$file" || [ "$(tail -c 2 "$unpacked/$top/$file" | od -An -tx1)" != " 0d 0a" ]; then
    echo "$file in the archive has lines that do not end with CR LF" >&2
    exit 1
  fi
done
grep -q "zeb-$version-windows-debug.zip" "$unpacked/$top/README.txt" ||
  { echo "README.txt does not name the debug archive of version $version" >&2; exit 1; }
for folder in x86 x64; do
  objdump=i686-w64-mingw32-objdump
  [ "$folder" = x64 ] && objdump=x86_64-w64-mingw32-objdump
  for binary in $(binaries $folder); do
    file="$unpacked/$top/$folder/$binary"
    if "$objdump" -h "$file" | grep -q '\.debug_info'; then
      echo "$folder/$binary in the archive still carries debug information" >&2
      exit 1
    fi
    strings -el "$file" | grep -qx "$version" ||
      { echo "$folder/$binary carries no version resource of this version" >&2; exit 1; }
  done
  check_exports "$objdump" "$unpacked/$top/$folder/zebmaster.dll" "$here/master/zebmaster.def" >/dev/null
  check_exports "$objdump" "$unpacked/$top/$folder/zebfollower.dll" "$here/follower/zebfollower.def" >/dev/null
done
echo "release archive: $archive ($(wc -l <<<"$actual") files, $((size / 1024)) KB), debug information in $debug_archive"

# Hosts that link the archive's import libraries, as integrators build them:
# the example hosts with mingw-w64, where every call must bind as the
# compiler named it (no stdcall fix-up, no warning), and a master and a
# follower linked in MSVC's way by clang and lld-link, with no C runtime and
# a kernel32 import library of the same kind. Each folder gets the DLLs
# beside the programs; they run under Wine below.
linked_dir="$build_root/linked"
rm -rf "$linked_dir"
for folder in x86 x64; do
  triple=i686-w64-mingw32 machine=i386 exit_process=ExitProcess@4
  [ "$folder" = x64 ] && triple=x86_64-w64-mingw32 machine=i386:x86-64 exit_process=ExitProcess
  dir="$linked_dir/$folder"
  mkdir -p "$dir"
  cp "$unpacked/$top/$folder"/*.dll "$dir"
  include="$unpacked/$top/include" lib="$unpacked/$top/lib/$folder"
  for role in master follower; do
    "$triple-gcc" -std=c99 -Wall -Wextra -Werror -I"$include" "$unpacked/$top/example/linked_$role.c" \
      -L"$lib" -lzeb$role -Wl,--disable-stdcall-fixup,--fatal-warnings -o "$dir/linked_$role.exe"
  done
  printf 'LIBRARY kernel32.dll\nEXPORTS\n  %s\n' "$exit_process" >"$dir/kernel32.def"
  llvm-dlltool -m "$machine" --kill-at -d "$dir/kernel32.def" -l "$dir/kernel32.lib"
  for role in master follower; do
    define=""
    [ "$role" = follower ] && define=-DZEB_LINK_FOLLOWER
    clang --target="${triple%%-*}-pc-windows-msvc" -Wall -Wextra -Werror $define -I"$include" \
      -c "$here/tests/import_libraries/msvc_linked_host.c" -o "$dir/msvc_linked_$role.obj"
    lld-link /nologo /entry:start /subsystem:console /nodefaultlib "/out:$dir/msvc_linked_$role.exe" \
      "$dir/msvc_linked_$role.obj" "$lib/zeb$role.lib" "$dir/kernel32.lib"
  done
  echo "$folder: linked_master.exe and linked_follower.exe (mingw-w64), msvc_linked_master.exe and" \
    "msvc_linked_follower.exe (lld-link) link against lib/$folder"
done
rm -rf "$unpacked"

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

# run_linked FOLDER WINE: the linked hosts of FOLDER carry records on
# channels of their own: linked_follower prints exactly what linked_master
# published, and the MSVC-linked follower finds the MSVC-linked master's
# record.
run_linked() {
  local dir="$linked_dir/$1" wine=$2
  (
    cd "$dir"
    rm -rf root msvc-root
    mkdir root msvc-root
    "$wine" linked_master.exe root "linked-$1" | tr -d '\r' >published.txt
    "$wine" linked_follower.exe root copier "linked-$1" 3 | tr -d '\r' >received.txt
    if [ "$(wc -l <published.txt)" -ne 3 ] || ! cmp -s published.txt received.txt; then
      echo "$1: linked_follower did not receive what linked_master published:" >&2
      diff published.txt received.txt >&2 || true
      exit 1
    fi
    "$wine" msvc_linked_master.exe && "$wine" msvc_linked_follower.exe ||
      { echo "$1: the MSVC-linked master and follower did not carry their record" >&2; exit 1; }
  )
  echo "$1: the linked hosts carried their records under Wine"
}

for arch in $suites; do
  echo "== Windows suite, $arch, under Wine"
  ctest --test-dir "$build_root/$arch" --output-on-failure -j "$(nproc)"
  if [ "$arch" = i686 ]; then run_linked x86 wine; else run_linked x64 /usr/lib/wine/wine64; fi
done
echo "Windows stage took $((SECONDS - started)) s"
