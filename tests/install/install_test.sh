#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, builds a host project in C
# and C++ against the installed package (with CMake's find_package and with
# pkg-config), and runs it and the installed zebctl on a channel; a host that
# links only the headers loads both installed libraries by name.
#   install_test.sh BUILD_DIR CONSUMER_SOURCE_DIR HOST_SOURCE
set -euo pipefail
build=$1
consumer=$2
host_source=$3
work=$(mktemp -d)
master="consumer$$"
cleanup() {
  rm -rf "$work"
  rm -f "/dev/shm/zeb_$master" "/dev/shm/zeb_host$$"
}
trap cleanup EXIT
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" >/dev/null
for file in share/doc/zeb/LICENSE include/zeb/version.h include/zeb/zeb_dynload.h share/zeb/python/zeb.py; do
  [ -f "$prefix/$file" ] || { echo "the install lacks $file"; exit 1; }
done
cmake -S "$consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" -DZEB_HOST_SOURCE="$host_source" >/dev/null
cmake --build "$work/consumer" >/dev/null

# refused WHAT CMAKE_ARGS...: the consumer's configure fails and says WHAT.
refused() {
  local what=$1 output
  shift
  if output=$(cmake -S "$consumer" -B "$work/refused" -DCMAKE_PREFIX_PATH="$prefix" "$@" 2>&1); then
    echo "the consumer's configure accepted $*"
    exit 1
  fi
  grep -q "$what" <<<"$output" || { echo "the consumer's configure refused $* without saying $what: $output"; exit 1; }
  rm -rf "$work/refused"
}
refused 'no component "bogus"' "-DZEB_WANTED_COMPONENTS=master;bogus"
refused 'version: 1\.[0-9]' -DZEB_WANTED_VERSION=2
refused 'ZEB_LINK_MASTER_OR_FOLLOWER_NOT_BOTH' -DZEB_LINK_BOTH=ON

# pkg-config: the version the headers carry, and a follower built from it.
export PKG_CONFIG_PATH="$prefix/lib/pkgconfig"
version=$(sed -n 's/^#define ZEB_VERSION_STRING "\(.*\)"$/\1/p' "$prefix/include/zeb/version.h")
for module in zeb zebmaster zebfollower; do
  [ "$(pkg-config --modversion "$module")" = "$version" ] ||
    { echo "pkg-config $module is not version $version"; exit 1; }
done
[ -f "$(pkg-config --variable=includedir zebmaster)/zeb/zebmaster.h" ] &&
  [ -e "$(pkg-config --variable=libdir zeb)/libzebmaster.so" ] ||
  { echo "pkg-config's includedir or libdir misses the installed files"; exit 1; }
# shellcheck disable=SC2046
c++ -std=c++17 -o "$work/pc_follower" "$consumer/follower.cpp" $(pkg-config --cflags --libs zebfollower) \
  -Wl,-rpath,"$prefix/lib"

# The installed zebctl finds the installed libraries beside itself, not the build tree's.
runpath=$(readelf -d "$prefix/bin/zebctl" | grep -E 'RUNPATH|RPATH')
case "$runpath" in
  *"$build"*) echo "installed zebctl still looks in the build tree: $runpath"; exit 1 ;;
  *'$ORIGIN/'*) ;;
  *) echo "installed zebctl has no run path beside itself: $runpath"; exit 1 ;;
esac

root="$work/root"
mkdir "$root"
"$work/consumer/consumer_master" "$root" "$master"
"$work/consumer/consumer_follower" "$root" copier "$master"
"$work/pc_follower" "$root" pc-copier "$master"
# As the guide's Linux steps say: the loader finds the libraries by name
# through LD_LIBRARY_PATH.
mkdir "$work/host-root"
LD_LIBRARY_PATH="$prefix/lib" "$work/consumer/consumer_host" "$work/host-root" "host$$" >/dev/null

zebctl="$prefix/bin/zebctl"
"$zebctl" publish "$root" "$master" --ticket 103 --symbol GBPUSD >/dev/null
followed=$("$zebctl" follow "$root" copier "$master" --count 1)
expected="#3 cmd=0 ticket=103 type=0 symbol=GBPUSD lot=0 open_price=0 sl=0 tp=0 close_price=0 time_local=0 time_server=0"
if [ "$followed" != "$expected" ]; then
  echo "installed zebctl follow printed: $followed"
  exit 1
fi
# The manual page and the bash completion are installed where man and bash look.
man -l "$prefix/share/man/man1/zebctl.1" 2>/dev/null | grep -q "zebctl follow ROOT FOLLOWER MASTER" ||
  grep -q "zebctl follow ROOT FOLLOWER MASTER" "$prefix/share/man/man1/zebctl.1"
grep -q "complete -o default -F _zebctl zebctl" "$prefix/share/bash-completion/completions/zebctl"
status=$("$zebctl" status "$root" "$master")
grep -q "records on disk  3, highest 3" <<<"$status"
echo "installed package: consumer and headers-only host built and ran, both libraries in one target refused, zebctl published and followed"
