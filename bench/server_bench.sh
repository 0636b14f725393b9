#!/usr/bin/env bash
# What the dedicated server costs: morvane-server paced at 85 frames a
# second with seven players, first seven computer players of a separate
# morvane-bot (the server's CPU is then the host's alone), then seven of its
# own (--bots 7: the host and the seven players in one process). For each,
# over BENCH_SECONDS (default 30) after a settling time: the server's CPU
# time as a share of one core, and its own status line of the last ten
# seconds: its frames a second and the bytes a second it sends and receives.
#
# usage: bench/server_bench.sh BUILD_DIR. As root it runs in a network
# namespace of its own; elsewhere the game's ports must be free.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
GAME_DIR=$(cd "${1:?usage: server_bench.sh BUILD_DIR}" && pwd)/game
SECONDS_OF_PLAY=${BENCH_SECONDS:-30}
source "$root/tests/e2e/lib.sh"
source "$root/tests/e2e/net_lib.sh"
run_in_own_namespace "$0" "$@"
[ -x "$GAME_DIR/morvane-server" ] && [ -x "$GAME_DIR/morvane-bot" ] || fail "no programs in $GAME_DIR"
ss -Hlun 2>/dev/null | grep -q ':24640 ' && fail "port 24640 is taken: another game is running"
# Paced as players see it, whatever the other benchmarks ask.
unset MORVANE_UNPACED
WORK=$(mktemp -d /tmp/morvane-server-bench.XXXXXX)
DIRS+=("$WORK")
cp "$GAME_DIR/default.mvl" "$WORK"/

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# measure LABEL SERVER-ARGS...: the server with the given arguments, and
# seven players in the game before the measurement starts.
measure() {
  local label=$1 server bots="" ticks start elapsed status
  shift
  (cd "$WORK" && exec env -u DISPLAY "$GAME_DIR/morvane-server" --skill 3 --seed 1 \
    --report-every 10 "$@" >server.out 2>server.err) & server=$!
  PIDS+=("$server")
  sleep 1
  if [[ " $* " != *" --bots "* ]]; then
    (cd "$WORK" && exec env -u DISPLAY "$GAME_DIR/morvane-bot" --count 7 --skill 3 127.0.0.1 \
      >bots.out 2>bots.err) & bots=$!
    PIDS+=("$bots")
  fi
  for _ in $(seq 300); do
    [ "$(grep -c ' join: ' "$WORK/server.out")" -ge 7 ] && break
    sleep 0.1
  done
  [ "$(grep -c ' join: ' "$WORK/server.out")" -ge 7 ] || { cat "$WORK/server.err"; fail "seven players did not join"; }
  sleep 5  # they spread out and find each other
  ticks=$(cpu_ticks "$server")
  start=$(date +%s.%N)
  sleep "$SECONDS_OF_PLAY"
  elapsed=$(echo "$(date +%s.%N) - $start" | bc -l)
  ticks=$(($(cpu_ticks "$server") - ticks))
  status=$(grep ' status: ' "$WORK/server.out" | tail -n 1 | sed 's/^.* status: //')
  printf '%s: CPU %.2f%% of a core; %s\n' "$label" \
    "$(echo "$ticks * 100 / $(getconf CLK_TCK) / $elapsed" | bc -l)" "$status"
  [ -n "$bots" ] && kill -TERM "$bots" && wait_exit "$bots" 50
  kill -TERM "$server"
  wait_exit "$server" 50 || fail "the server did not end on SIGTERM"
  : > "$WORK/server.out"
}

measure "seven players of morvane-bot"
measure "seven computer players of its own (--bots 7, in the server's process)" --bots 7
exit 0
