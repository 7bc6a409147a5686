#!/usr/bin/env bash
# zebbridge.exe between two Windows machines played by two Wine prefixes,
# each with a wineserver and so an object namespace of its own, through a
# real nats-server on 127.0.0.1. On A a host's master DLL writes RECORDS
# records at a trading pace and `zebbridge.exe out` carries them; on B
# `zebbridge.exe in` fills the copy, whose follower DLL in a host must get
# every record once, in order, while each bridge is killed (SIGKILL of its
# Wine process) a few times and started again. B's records must be A's,
# byte for byte, and both bridges must then end on Ctrl-C with status 0.
#   bridge_under_wine.sh WINE BIN_DIR NATS_SERVER [RECORDS]
# BIN_DIR holds zebbridge.exe, the DLLs and zeb_windows_tests.exe, whose
# roles play the hosts. A is the prefix in WINEPREFIX, or one of its own.
set -euo pipefail
wine=$1 bin=$2 nats_server=$3 records=${4:-300}
kills_each=3

work=$(mktemp -d /tmp/zeb-bridge-wine.XXXXXX)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
near=${WINEPREFIX:-$work/near}
far=$work/far
pids=()
finish() {
  for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  WINEPREFIX=$far wineserver -k 2>/dev/null || true
  [ "$near" != "$work/near" ] || WINEPREFIX=$near wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT

fail() {
  echo "bridge under Wine: $1" >&2
  for log in "$work"/*.log; do echo "--- $(basename "$log")" >&2; tail -n 20 "$log" >&2; done
  exit 1
}
windows_path() { echo "Z:${1//\//\\}"; }
# eventually SECONDS COMMAND...: true once the command succeeds, polled.
eventually() {
  local until=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$until" ] || return 1
    sleep 0.1
  done
}

# B is made up front: a new prefix takes a while.
WINEPREFIX=$far "$wine" wineboot --init >/dev/null 2>&1
[ -d "$near/drive_c" ] || WINEPREFIX=$near "$wine" wineboot --init >/dev/null 2>&1

"$nats_server" -a 127.0.0.1 -p -1 -js -sd "$work/store" >"$work/nats.log" 2>&1 &
pids+=($!)
eventually 30 grep -q "Server is ready" "$work/nats.log" || fail "nats-server did not start"
url="nats://$(sed -n 's/.*Listening for client connections on //p' "$work/nats.log")"

# Both machines know the channel by the same master name, which each holds
# in its own namespace; the channel id is that name's bytes in hex.
master=W$$
channel=$(printf %s "$master" | od -An -tx1 | tr -d ' \n')
mkdir "$work/A" "$work/B"
root_a=$(windows_path "$work/A") root_b=$(windows_path "$work/B")

declare -A pid starts kills
carried_at_kills=()
# start BRIDGE: out on A, in on B; each start logs to a file of its own.
start() {
  local prefix=$near root=$root_a
  [ "$1" = in ] && prefix=$far root=$root_b
  starts[$1]=$((${starts[$1]:-0} + 1))
  WINEPREFIX=$prefix "$wine" "$bin/zebbridge.exe" "$1" "$root" "$master" --server "$url" \
    >"$work/$1.${starts[$1]}.log" 2>&1 &
  pid[$1]=$!
  pids+=($!)
}
# kill_and_restart BRIDGE: once it is at work, after a random moment.
kill_and_restart() {
  local ready="holds records up to"
  [ "$1" = in ] && ready="copying stream"
  eventually 30 grep -q "$ready" "$work/$1.${starts[$1]}.log" || fail "$1 did not start"
  sleep "$((RANDOM % 2)).$((RANDOM % 10))"
  kill -0 "${pid[$1]}" 2>/dev/null || fail "$1 ended by itself"
  kill -9 "${pid[$1]}"
  wait "${pid[$1]}" 2>/dev/null || true
  kills[$1]=$((${kills[$1]:-0} + 1))
  carried_at_kills+=("$1@$(wc -l <"$work/far.numbers" 2>/dev/null || echo 0)")
  start "$1"
}

start out
start in
eventually 30 test -d "$work/B/$master" || fail "in did not make the copy"
WINEPREFIX=$far "$wine" "$bin/zeb_windows_tests.exe" follower "$root_b" F "$master" "$records" \
  "$(windows_path "$work/far.numbers")" >"$work/far.log" 2>&1 &
follower=$!
pids+=($!)
# The whole run of the master lasts about RECORDS * 25 ms; the kills fall in it.
WINEPREFIX=$near "$wine" "$bin/zeb_windows_tests.exe" paced "$root_a" "$master" "$records" 25 \
  >"$work/master.log" 2>&1 &
writer=$!
pids+=($!)
for _ in $(seq "$kills_each"); do
  kill_and_restart out
  kill_and_restart in
done
wait "$writer" || fail "the master on A failed"
wait "$follower" || fail "B's follower did not get every record in order"

[ "$(tr -d '\r' <"$work/far.numbers")" = "$(seq "$records")" ] ||
  fail "B's follower did not get records 1..$records once each"
numbered() { (cd "$1" && ls | grep -E '^[0-9]+$' | sort); }
[ "$(numbered "$work/A/$master")" = "$(numbered "$work/B/$master")" ] || fail "B's records are numbered unlike A's"
for file in $(numbered "$work/A/$master"); do
  cmp -s "$work/A/$master/$file" "$work/B/$master/$file" || fail "record $file differs on B"
done
# A record stored twice would have taken a stream sequence of its own.
[ "$(cat "$work/B/$master/bridge.position")" = "$channel $records" ] ||
  fail "the stream holds other than $records records: $(cat "$work/B/$master/bridge.position")"

for bridge in out in; do
  kill -INT "${pid[$bridge]}"
  status=0
  wait "${pid[$bridge]}" || status=$?
  [ "$status" -eq 0 ] && grep -q "stopped" "$work/$bridge.${starts[$bridge]}.log" ||
    fail "$bridge did not stop cleanly on Ctrl-C (status $status)"
done
echo "bridge under Wine: $records records carried from prefix A to prefix B, out killed ${kills[out]} times," \
  "in ${kills[in]} times (bridge@records B's follower had then: ${carried_at_kills[*]}):" \
  "B's follower got each record once, in order"
