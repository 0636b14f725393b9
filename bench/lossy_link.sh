#!/usr/bin/env bash
# A host, a player whose tank moves every frame and a player watching it,
# each in a network namespace of its own; each client reaches the host
# through the test relay (tests/e2e/impaired_relay.py), which loses the given
# share of datagrams each way and delays every one by 50 ms (100 ms round
# trip). For 0%, 1% and 2% loss it prints, for the watcher, the share of the
# time spent in gaps of over 50 ms between the mover's updates and the 99th
# percentile gap: each run's figures and the median of LOSSY_RUNS runs.
#
# Usage: lossy_link.sh BUILD_DIR. Needs root for the namespaces, as the
# bad-network test does; elsewhere it says so and does nothing.
set -uo pipefail
BUILD=$(cd "$1" && pwd)
ROOT=$(cd "$(dirname "$0")/.." && pwd)
RELAY="$ROOT/tests/e2e/impaired_relay.py"
PLAYER="$BUILD/bench/morvane_bench_lossy"
SECONDS_EACH=${LOSSY_SECONDS:-20}
RUNS=${LOSSY_RUNS:-3}
LOSSES=${LOSSY_LOSSES:-"0 0.01 0.02"}

# The namespace helpers of the network tests (their exit trap is replaced below).
source "$ROOT/tests/e2e/lib.sh"
source "$ROOT/tests/e2e/net_lib.sh"

tag=mvl$$
if [ "$(id -u)" != 0 ] || ! ip netns add "${tag}h" 2>/dev/null; then
  echo "skipped: the lossy-link benchmark needs root for network namespaces"; exit 0
fi
NAMESPACES=("${tag}h")
PIDS=()
WORK=$(mktemp -d /tmp/morvane-lossy.XXXXXX)
trap 'for p in "${PIDS[@]}"; do kill -9 $p 2>/dev/null; done; rm -rf "$WORK";
      for n in "${NAMESPACES[@]}"; do ip netns del $n 2>/dev/null; done' EXIT
ip -n "${tag}h" link set lo up

# Client n's namespace, joined to the host's (see veth_namespace).
for n in 1 2; do veth_namespace "$n"; done

# Waits up to 30 s for a line in a file.
wait_for() {
  for _ in $(seq 300); do grep -q "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
  return 1
}

# One run: relays with the given loss, the three programs; prints the
# watcher's line.
run_once() {
  local loss=$1 seed=$2 n relays=() host mover
  for n in 1 2; do
    ip netns exec "${tag}c$n" python3 "$RELAY" --listen 127.0.0.1 --host "198.18.$n.1" \
      --seed $((seed * 10 + n)) --loss "$loss" --delay 0.05 --jitter 0 --duplicate 0 \
      --seconds $((SECONDS_EACH + 120)) > "$WORK/relay$n.txt" 2>&1 &
    relays+=($!); PIDS+=($!)
  done
  sleep 0.3
  ip netns exec "${tag}h" "$PLAYER" host "$SECONDS_EACH" > "$WORK/host.txt" 2>&1 & host=$!
  PIDS+=($host)
  wait_for "$WORK/host.txt" joined || { echo "the host did not start"; cat "$WORK/host.txt"; }
  ip netns exec "${tag}c1" "$PLAYER" mover "$SECONDS_EACH" > "$WORK/mover.txt" 2>&1 & mover=$!
  PIDS+=($mover)
  wait_for "$WORK/mover.txt" joined || { echo "the mover did not join"; cat "$WORK/mover.txt"; }
  ip netns exec "${tag}c2" "$PLAYER" watcher "$SECONDS_EACH" > "$WORK/watcher.txt" 2>&1
  grep -v joined "$WORK/watcher.txt"
  for p in $mover $host "${relays[@]}"; do kill -TERM "$p" 2>/dev/null; done
  wait $mover $host "${relays[@]}" 2>/dev/null
}

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

for loss in $LOSSES; do
  echo "-- loss $(awk -v l="$loss" 'BEGIN {print l * 100}')% each way, 100 ms round trip"
  : > "$WORK/lines.txt"
  for run in $(seq "$RUNS"); do
    run_once "$loss" "$run" | tee -a "$WORK/lines.txt"
  done
  share=$(sed -n 's/.*: \([0-9.]*\)% of the time.*/\1/p' "$WORK/lines.txt" | median)
  p99=$(sed -n 's/.*gap 99th \([0-9]*\) ms.*/\1/p' "$WORK/lines.txt" | median)
  echo "median of $RUNS: ${share}% of the time in gaps over 50 ms, 99th percentile gap ${p99} ms"
done
