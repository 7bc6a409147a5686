#!/usr/bin/env bash
# The main job: builds what it needs on a fresh machine, then shows a master
# and two followers carrying trades end to end.
#   bash demo/run.sh [ROOT]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/lib/setup.sh"

need_packages cmake g++ make
build_dir="$here/build/demo"
cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DZEB_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j "$(nproc)" --target zeb_demo >/dev/null
exec "$build_dir/demo/zeb_demo" "$@"
