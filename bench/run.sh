#!/usr/bin/env bash
# Measures the channel and rewrites the table and the plot of
# docs/performance.md from this one run. Takes a few minutes; run it on a
# quiet machine.
#   bash bench/run.sh
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/lib/setup.sh"

need_packages cmake g++ make libgtest-dev nlohmann-json3-dev python3 libbenchmark-dev libsqlite3-dev gnuplot-nox \
  pkg-config libnats-dev nats-server
build_dir="$here/build/bench"
cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON -DZEB_BUILD_BENCHMARK=ON >/dev/null
cmake --build "$build_dir" -j 2 --target zeb_bench >/dev/null

doc="$here/docs/performance.md"
data="$here/docs/performance-read.dat"
table=$(mktemp)
trap 'rm -f "$table" "$doc.new"' EXIT
"$build_dir/bench/zeb_bench" --plot "$data" >"$table"

# The table stands between two marker lines of the document.
awk -v table="$table" '
  /^<!-- table:start -->$/ { print; while ((getline line < table) > 0) print line; skipping = 1; next }
  /^<!-- table:end -->$/ { skipping = 0 }
  !skipping { print }' "$doc" >"$doc.new"
mv "$doc.new" "$doc"
gnuplot -e "data='$data'; output='$here/docs/performance-read.png'" "$here/bench/plot_read_cost.gp"
echo "updated $doc and docs/performance-read.png"
