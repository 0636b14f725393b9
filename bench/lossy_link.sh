#!/usr/bin/env bash
# A host, a player whose tank moves every frame and a player watching it,
# each in a network namespace of its own; each client reaches the host
# through the test relay (tests/e2e/impaired_relay.py), which loses the given
# share of datagrams each way and delays every one by 50 ms (100 ms round
# trip). For 0%, 1% and 2% loss it prints, for the watcher, the share of the
# time spent in gaps of over 50 ms between the mover's updates and the 99th
# percentile gap: each run's figures and the median of LOSSY_RUNS runs.
#
# Then the link of the bad-network test (5% loss, 40 +- 30 ms each way, so
# that datagrams overtake each other, and 3% duplicates), LOSSY_RUNS runs of
# LOSSY_REORDERING_SECONDS (default 30; 0 skips it): the share of the host's
# relays of the mover's status that the watcher applied, the mover's shots
# lost on the way to the host and to the watcher, and how long the mover's
# last status takes to reach the watcher when the mover falls quiet right
# after a hit (as a player whose window loses the focus), against the two
# seconds it stays quiet.
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
LOSSES=${LOSSY_LOSSES-"0 0.01 0.02"}
REORDERING_SECONDS=${LOSSY_REORDERING_SECONDS:-30}

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

# start_relays SEED RELAY-OPTIONS...: each client's relay to the host.
start_relays() {
  local seed=$1 n
  shift
  RELAYS=()
  for n in 1 2; do
    ip netns exec "${tag}c$n" python3 "$RELAY" --listen 127.0.0.1 --host "198.18.$n.1" \
      --seed $((seed * 10 + n)) "$@" --seconds $((SECONDS_EACH + REORDERING_SECONDS + 120)) \
      > "$WORK/relay$n.txt" 2>&1 &
    RELAYS+=($!); PIDS+=($!)
  done
  sleep 0.3
}

# start_role ROLE NAMESPACE ARGUMENTS...: one of the three programs, its
# output in $WORK/ROLE.txt, once it has joined (or hosts); sets ROLE_PID.
start_role() {
  local role=$1 ns=$2
  shift 2
  ip netns exec "$ns" "$PLAYER" "$role" "$@" > "$WORK/$role.txt" 2>&1 & ROLE_PID=$!
  PIDS+=($ROLE_PID)
  wait_for "$WORK/$role.txt" joined || { echo "the $role did not join"; cat "$WORK/$role.txt"; }
}

# One run: relays with the given loss, the three programs; prints the
# watcher's line.
run_once() {
  local loss=$1 seed=$2 host mover
  start_relays "$seed" --loss "$loss" --delay 0.05 --jitter 0 --duplicate 0
  start_role host "${tag}h" "$SECONDS_EACH"; host=$ROLE_PID
  start_role mover "${tag}c1" "$SECONDS_EACH"; mover=$ROLE_PID
  ip netns exec "${tag}c2" "$PLAYER" watcher "$SECONDS_EACH" > "$WORK/watcher.txt" 2>&1
  grep -v joined "$WORK/watcher.txt"
  for p in $mover $host "${RELAYS[@]}"; do kill -TERM "$p" 2>/dev/null; done
  wait $mover $host "${RELAYS[@]}" 2>/dev/null
}

# One run on the reordering link: the three play for REORDERING_SECONDS,
# the mover stops (and lingers for its last shots), then the others; prints
# one line of figures (see reordering_figures).
run_reordering() {
  local seed=$1 host mover watcher
  start_relays "$seed" --loss 0.05 --delay 0.04 --jitter 0.03 --duplicate 0.03
  # The watcher joins first: it sees all that the mover does.
  start_role host "${tag}h" 0 reordering; host=$ROLE_PID
  start_role watcher "${tag}c2" 0 reordering; watcher=$ROLE_PID
  start_role mover "${tag}c1" 0 reordering; mover=$ROLE_PID
  sleep "$REORDERING_SECONDS"
  kill -TERM "$mover"; wait "$mover" 2>/dev/null
  for p in $watcher $host "${RELAYS[@]}"; do kill -TERM "$p" 2>/dev/null; done
  wait $watcher $host "${RELAYS[@]}" 2>/dev/null
  : > "$WORK/delays.txt"
  reordering_figures "$WORK/host.txt" "$WORK/mover.txt" "$WORK/watcher.txt"
  quiet_figures "$WORK/delays.txt"
  cat "$WORK/delays.txt" >> "$WORK/all-delays.txt"
}

# The figures of one reordering run, from the three programs' lines:
#   relays applied P% (W of H): of the mover's statuses the host took (and
#     relayed) while the watcher was watching, the share the watcher applied;
#   shots lost S% on the way to the host (F fired, N numbered), L% to the
#     watcher (C created);
#   quiet: the seconds from the mover's last status before falling quiet to
#     the watcher showing it (its position and the host's health), one line
#     a trial appended to $WORK/delays.txt, "never" when the watcher did
#     not see it while the mover was quiet; summed up by quiet_figures.
reordering_figures() {
  awk -v delays="$WORK/delays.txt" '
    FILENAME == ARGV[1] && $1 == "relay" { relayed[$2] = 1 }
    FILENAME == ARGV[1] && $1 == "numbered" { numbered = $2 }
    FILENAME == ARGV[2] && $1 == "quiet" { quiet_t[++quiets] = $2; quiet_key[quiets] = $3 " " $4 }
    FILENAME == ARGV[2] && $1 == "fired" { fired = $2 }
    FILENAME == ARGV[3] && $1 == "seen" {
      seen[$3] = 1
      if (!(($3 " " $4) in first_seen)) first_seen[$3 " " $4] = $2
      if (low == "" || $3 + 0 < low) low = $3 + 0
      if ($3 + 0 > high) high = $3 + 0
    }
    FILENAME == ARGV[3] && $1 == "created" { created = $2 }
    END {
      for (x in relayed) if (x + 0 >= low && x + 0 <= high) { host_n++; if (x in seen) watcher_n++ }
      for (i = 1; i <= quiets; i++) {
        if (!(quiet_key[i] in first_seen)) { print "never" >> delays; continue }
        d = (first_seen[quiet_key[i]] - quiet_t[i]) / 1e6
        if (d < 0) d = 0
        printf "%.3f\n", d >> delays
      }
      printf "relays applied %.1f%% (%d of %d); shots lost %.1f%% to the host (%d fired, %d numbered), %.1f%% to the watcher (%d created); ",
        host_n ? 100 * watcher_n / host_n : 0, watcher_n, host_n,
        fired ? 100 * (fired - numbered) / fired : 0, fired, numbered,
        fired ? 100 * (fired - created) / fired : 0, created
    }' "$@"
}

# quiet_figures FILE: the trials of a delays file, their median (a trial
# never seen counts as longer than any seen), the longest seen and how many
# were never seen while the mover was quiet.
quiet_figures() {
  local total never median worst
  total=$(wc -l < "$1")
  never=$(grep -c never "$1")
  median=$(sed 's/never/999/' "$1" | median)
  worst=$(grep -v never "$1" | sort -n | tail -n 1)
  [ "$median" = 999 ] && median="over 2"
  echo "quiet: $total trials, median $median s, longest seen ${worst:-none} s, $never never seen while quiet (2 s)"
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

[ "$REORDERING_SECONDS" -gt 0 ] || exit 0
echo "-- 5% loss, 40 +- 30 ms each way (reordering), 3% duplicates; ${REORDERING_SECONDS} s a run"
: > "$WORK/lines.txt"
: > "$WORK/all-delays.txt"
for run in $(seq "$RUNS"); do
  run_reordering "$run" | tee -a "$WORK/lines.txt"
done
figure() { sed -n "s/.*$1.*/\\1/p" "$WORK/lines.txt" | median; }
echo "median of $RUNS: relays applied $(figure 'relays applied \([0-9.]*\)%')%," \
  "shots lost $(figure 'shots lost \([0-9.]*\)%')% to the host and $(figure ', \([0-9.]*\)% to the watcher')% to the watcher"
echo "all $RUNS runs' $(quiet_figures "$WORK/all-delays.txt")"
