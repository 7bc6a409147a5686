#!/usr/bin/env bash
# A channel across two machines: a master publishes on root A, `zebbridge out`
# carries each record into a JetStream stream of one local nats-server,
# `zebbridge in` writes it under root B, and a follower on B reads it.
# Machine B is this machine with a /dev/shm of its own (a user and mount
# namespace): a master name is claimed machine-wide through /dev/shm, and
# both machines run a master of the same name.
#   bash demo/across.sh [BUILD_DIR]
# With BUILD_DIR (a build holding zebctl and zebbridge) it runs from there;
# without, it installs what it needs and builds them in build/demo.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

if [ $# -ge 1 ]; then
  build_dir=$(cd "$1" && pwd)
else
  source "$here/scripts/lib/setup.sh"
  need_packages cmake g++ make pkg-config libnats-dev nats-server python3 util-linux
  build_dir="$here/build/demo"
  cmake -S "$here" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DZEB_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build_dir" -j "$(nproc)" --target zebctl zebbridge >/dev/null
fi
zebctl="$build_dir/tools/zebctl/zebctl"
zebbridge="$build_dir/tools/zebbridge/zebbridge"
nats_server=$(PATH="$PATH:/usr/sbin" command -v nats-server) || { echo "across.sh: nats-server not found" >&2; exit 1; }

work=$(mktemp -d)
# The master's name carries this run's id: on machine A it names the shared
# counter, /dev/shm/zeb_NAME, which is removed at the end.
a="$work/a" b="$work/b" master="Alpha-$$"
# The channel id the bridges derive from the master name: its bytes in hex.
# The out bridge claims it on machine A as /dev/shm/zebbridge_ID.
channel=$(printf '%s' "$master" | od -An -tx1 | tr -d ' \n')
mkdir "$a" "$b"
started=()
stop_all() {
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait
  rm -rf "$work" "/dev/shm/zeb_$master" "/dev/shm/zebbridge_$channel"
}
trap stop_all EXIT

# wait_until WHAT COMMAND...: polls COMMAND for up to 30 s.
wait_until() {
  local what=$1 tries=300
  shift
  until "$@"; do
    ((--tries > 0)) || { echo "across.sh: gave up waiting until $what" >&2; exit 1; }
    sleep 0.1
  done
}

echo "== one nats-server with JetStream on 127.0.0.1, storing under $work/store"
read -r port monitor < <(python3 -c '
import socket
a, b = socket.socket(), socket.socket()
a.bind(("127.0.0.1", 0)); b.bind(("127.0.0.1", 0))
print(a.getsockname()[1], b.getsockname()[1])')
"$nats_server" -a 127.0.0.1 -p "$port" -m "$monitor" -js -sd "$work/store" >"$work/nats.log" 2>&1 &
started+=($!)
healthy() { python3 -c 'import sys, urllib.request; urllib.request.urlopen(sys.argv[1], timeout=1)' \
  "http://127.0.0.1:$monitor/healthz" 2>/dev/null; }
wait_until "nats-server answers /healthz" healthy
url="nats://127.0.0.1:$port"

# Machine B: a process that holds the namespace and writes its id once its
# /dev/shm is mounted; "${on_b[@]}" COMMAND runs COMMAND there.
unshare --map-root-user --mount sh -c 'mount -t tmpfs tmpfs /dev/shm && echo $$ >"$1" && exec sleep infinity' \
  sh "$work/b.pid" 2>"$work/b.err" &
started+=($!)
b_is_up() {
  kill -0 "${started[-1]}" 2>/dev/null || {
    echo "across.sh: machine B needs a user and mount namespace, which this machine refuses: $(cat "$work/b.err")" >&2
    exit 77
  }
  [ -s "$work/b.pid" ]
}
wait_until "machine B is up" b_is_up
machine_b=$(cat "$work/b.pid")
started+=("$machine_b")
on_b=(nsenter --target "$machine_b" --user --mount --preserve-credentials)

trade() {
  "$zebctl" publish "$a" "$master" --cmd 0 --ticket "$1" --symbol EURUSD --lot 0.5 --open-price "$2"
}
echo "== machine A: master $master publishes three trades"
trade 5001 1.08412
trade 5002 1.08420
trade 5003 1.08431

echo "== zebbridge out on A and zebbridge in on B, through $url"
"$zebbridge" out "$a" "$master" --server "$url" &
bridge_out=$!
started+=("$bridge_out")
"${on_b[@]}" "$zebbridge" in "$b" "$master" --server "$url" &
bridge_in=$!
started+=("$bridge_in")

echo "== machine B: follower copier-1 reads the copy while A publishes two more"
wait_until "the copy exists on B" test -d "$b/$master/system"
"${on_b[@]}" timeout 60 "$zebctl" follow "$b" copier-1 "$master" --count 5 &
follower=$!
trade 5004 1.08402
trade 5005 1.08398
wait "$follower"

echo "== stopping both bridges with SIGTERM"
kill -TERM "$bridge_out" "$bridge_in"
wait "$bridge_out" || { echo "across.sh: zebbridge out ended with status $?" >&2; exit 1; }
wait "$bridge_in" || { echo "across.sh: zebbridge in ended with status $?" >&2; exit 1; }
echo "both ended with status 0"

echo "== B holds A's records under the same numbers, byte for byte"
diff -r --exclude=system --exclude=bridge.position "$a/$master" "$b/$master"
echo "A: $(cd "$a/$master" && echo [0-9]*)"
echo "B: $(cd "$b/$master" && echo [0-9]*)"
