#!/usr/bin/env bash
# What the public list of games costs: one morvane-list on one core
# (taskset), holding 10,000 games (--bench-fill), read in full by wrk on
# the other core, with and without gzip, then announced to by the 10,000
# games themselves (each from its own loopback address, as every listed
# game does every 20 seconds: 500 a second). Three runs; the median of
# each figure, and the service's memory for each listed game (its resident
# size with 10,000 games less its size with none, over 10,000).
#
# usage: bench/list_bench.sh BUILD_DIR. As root it runs in a network
# namespace of its own; elsewhere ports 24690 and 24691 must be free.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:?usage: list_bench.sh BUILD_DIR}" && pwd)
source "$root/tests/e2e/lib.sh"
source "$root/tests/e2e/net_lib.sh"
run_in_own_namespace "$0" "$@"
command -v wrk >/dev/null || "$root/scripts/install-deps.sh" --bench || fail "wrk cannot be installed"
LIST=$BUILD/game/morvane-list
ANNOUNCE=$BUILD/bench/morvane_bench_list_announce
[ -x "$LIST" ] && [ -x "$ANNOUNCE" ] || fail "no morvane-list or announcement benchmark in $BUILD"
GAMES=${BENCH_GAMES:-10000}
port=24690
WORK=$(mktemp -d /tmp/morvane-list-bench.XXXXXX)
DIRS+=("$WORK")
list_pid=""

start_list() {  # start_list GAMES
  taskset -c 0 "$LIST" --listen 127.0.0.1 --http-port $port --proof-port $((port + 1)) --bench-fill "$1" \
    > "$WORK/list.log" 2>&1 &
  list_pid=$!
  PIDS+=("$list_pid")
  for _ in $(seq 50); do grep -q " start: " "$WORK/list.log" && return 0; sleep 0.1; done
  cat "$WORK/list.log"
  fail "morvane-list did not start"
}
stop_list() {
  kill -TERM "$list_pid"
  wait_exit "$list_pid" 50 || fail "morvane-list did not stop on SIGTERM"
}
resident_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
readings() {  # readings [HEADER]: full readings a second over 5 s
  taskset -c 1 wrk -t1 -c8 -d5s ${1:+-H "$1"} "http://127.0.0.1:$port/games" | awk '/^Requests\/sec:/ {printf "%d", $2}'
}
median() { printf '%s\n' "$@" | sort -n | sed -n 2p; }

gzip_rates=() plain_rates=() announce_rates=() per_game=()
for run in 1 2 3; do
  start_list 0
  curl -s -o /dev/null "http://127.0.0.1:$port/games"
  empty_kib=$(resident_kib "$list_pid")
  stop_list
  start_list "$GAMES"
  size=$(curl -s "http://127.0.0.1:$port/games" | wc -c)
  gzip_size=$(curl -s -H "Accept-Encoding: gzip" "http://127.0.0.1:$port/games" | wc -c)
  gzip_rates+=("$(readings "Accept-Encoding: gzip")")
  plain_rates+=("$(readings)")
  full_kib=$(resident_kib "$list_pid")
  per_game+=("$(( (full_kib - empty_kib) * 1024 / GAMES ))")
  said=$(taskset -c 1 "$ANNOUNCE" $port "$GAMES" 4) || { echo "$said"; fail "announcements were refused"; }
  announce_rates+=("$(sed -n 's/.*: \([0-9]*\) a second.*/\1/p' <<<"$said")")
  stop_list
  echo "run $run: ${gzip_rates[-1]} gzip readings/s, ${plain_rates[-1]} plain readings/s, ${announce_rates[-1]} announcements/s, ${per_game[-1]} bytes a game"
done
echo "the list of $GAMES games: $size bytes of JSON, $gzip_size gzip-compressed"
echo "median of 3: $(median "${gzip_rates[@]}") full readings a second with gzip, $(median "${plain_rates[@]}") without; $(median "${announce_rates[@]}") announcements a second; $(median "${per_game[@]}") bytes of memory a listed game"
[ "$(median "${gzip_rates[@]}")" -ge 1000 ] || fail "fewer than 1,000 readings a second"
[ "$(median "${announce_rates[@]}")" -ge 500 ] || fail "fewer than 500 announcements a second"
