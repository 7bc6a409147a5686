#!/usr/bin/env bash
# zebbridge.exe between two machines played by two Wine prefixes (each with
# its own wineserver, so its own object namespace) through a real
# nats-server: on A a master DLL writes RECORDS records and `out` carries
# them; on B `in` fills the copy, whose follower DLL must get each record
# once, in order, while each bridge is killed (SIGKILL) three times and
# started again. Both bridges then end on Ctrl-C with status 0.
#   bridge_under_wine.sh WINE BIN_DIR NATS_SERVER [RECORDS]
# BIN_DIR holds zebbridge.exe, the DLLs and zeb_windows_tests.exe, whose
# roles play the hosts. A is the prefix in WINEPREFIX, or one of its own.
set -euo pipefail
wine=$1 bin=$2 nats_server=$3 records=${4:-300}
work=$(mktemp -d /tmp/zeb-bridge-wine.XXXXXX)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
near=${WINEPREFIX:-$work/near} far=$work/far
trap 'kill -9 $(jobs -p) 2>/dev/null; wait 2>/dev/null; WINEPREFIX=$far wineserver -k 2>/dev/null
  [ "$near" != "$work/near" ] || WINEPREFIX=$near wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
fail() { tail -n 5 "$work"/*.log >&2; echo "bridge under Wine: $1" >&2; exit 1; }
eventually() { for _ in $(seq 300); do "$@" && return; sleep 0.1; done; false; }
win() { echo "Z:${1//\//\\}"; }

for prefix in "$far" "$near"; do
  [ -d "$prefix/drive_c" ] || WINEPREFIX=$prefix "$wine" wineboot --init >/dev/null 2>&1
done
"$nats_server" -a 127.0.0.1 -p -1 -js -sd "$work/store" >"$work/nats.log" 2>&1 &
eventually grep -q "Server is ready" "$work/nats.log" || fail "nats-server did not start"
url=nats://$(sed -n 's/.*Listening for client connections on //p' "$work/nats.log")

# Each machine holds the master name in its namespace; the channel id is its hex.
master=W$$
channel=$(printf %s "$master" | od -An -tx1 | tr -d ' \n')
mkdir "$work/A" "$work/B"
declare -A prefix=([out]=$near [in]=$far) root=([out]=$work/A [in]=$work/B) pid starts
declare -A ready=([out]="holds records up to" [in]="copying stream")
kills=()
start() {
  starts[$1]=$((${starts[$1]:-0} + 1))
  WINEPREFIX=${prefix[$1]} "$wine" "$bin/zebbridge.exe" "$1" "$(win "${root[$1]}")" "$master" --server "$url" \
    >"$work/$1.${starts[$1]}.log" 2>&1 &
  pid[$1]=$!
}
# Once the bridge is at work, at a random moment.
kill_and_restart() {
  eventually grep -q "${ready[$1]}" "$work/$1.${starts[$1]}.log" || fail "$1 did not start"
  sleep "$((RANDOM % 2)).$((RANDOM % 10))"
  kill -9 "${pid[$1]}"
  wait "${pid[$1]}" 2>/dev/null || true
  kills+=("$1@$(cat "$work/far.numbers" 2>/dev/null | wc -l)")
  start "$1"
}

start out
start in
eventually test -d "$work/B/$master" || fail "in made no copy"
WINEPREFIX=$far "$wine" "$bin/zeb_windows_tests.exe" follower "$(win "$work/B")" F "$master" "$records" \
  "$(win "$work/far.numbers")" >"$work/far.log" 2>&1 &
follower=$!
WINEPREFIX=$near "$wine" "$bin/zeb_windows_tests.exe" paced "$(win "$work/A")" "$master" "$records" 25 \
  >"$work/master.log" 2>&1 &
writer=$!
for bridge in out in out in out in; do kill_and_restart $bridge; done
wait $writer || fail "A's master failed"
wait $follower || fail "B's follower did not get every record in order"
[ "$(tr -d '\r' <"$work/far.numbers")" = "$(seq "$records")" ] || fail "B's follower did not get 1..$records once each"
diff -r -x system -x bridge.position "$work/A/$master" "$work/B/$master" >&2 || fail "B's records are not A's"
# A record stored twice would have taken a stream sequence of its own.
[ "$(cat "$work/B/$master/bridge.position")" = "$channel $records" ] || fail "the stream holds more than the records"
for bridge in out in; do
  kill -INT "${pid[$bridge]}"
  wait "${pid[$bridge]}" && grep -q stopped "$work/$bridge.${starts[$bridge]}.log" ||
    fail "$bridge did not stop on Ctrl-C with status 0"
done
echo "bridge under Wine: $records records; kills (bridge@records B's follower had): ${kills[*]}; each record once, in order"
