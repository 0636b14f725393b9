#!/usr/bin/env bash
# A host under a flood of junk on both its ports: its frame rate stays
# within 10% of its rate under the same flood aimed at a port nobody
# listens on (the sender costs the machine the same), its output does not
# fill with a line per junk packet, and a real player can join afterwards.
# As root it runs in a network namespace of its own.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
GAME_DIR=$1
ARTEFACTS=${2:-$(mktemp -d /tmp/morvane-flood.XXXXXX)}
mkdir -p "$ARTEFACTS"
source "$(dirname "$0")/net_lib.sh"
run_in_own_namespace "$0" "$@"
FLOOD="$(dirname "$0")/flood.py"
COUNT=${FLOOD_COUNT:-15000}
FLOOD_SECONDS=6

start_player Hostess 1 1 ""; host=$PID; host_win=$WIN
click
sleep 2

frame_now() { state_of "$host" Hostess | sed 's/^STATE frame=\([0-9]*\).*/\1/'; }
# Frames per second while a flood goes to the given ports.
rate_under_flood() {
  local f0 t0 f1 t1
  f0=$(frame_now); t0=$(date +%s.%N)
  python3 "$FLOOD" --ports "$1" --count "$COUNT" --seconds "$FLOOD_SECONDS" >> "$ARTEFACTS/flood.txt"
  f1=$(frame_now); t1=$(date +%s.%N)
  echo "($f1 - $f0) / ($t1 - $t0)" | bc -l
}
# Two floods between three quiet spells, so that a machine whose speed
# drifts does not decide the comparison; on a busy machine a second round
# may confirm or clear a slow first one.
compare_rates() {
  local quiet1 quiet2 quiet3 flood1 flood2 quiet flooded
  quiet1=$(rate_under_flood 24690,24691)
  flood1=$(rate_under_flood 24640,24641)
  quiet2=$(rate_under_flood 24690,24691)
  flood2=$(rate_under_flood 24640,24641)
  quiet3=$(rate_under_flood 24690,24691)
  # The middle quiet spell and the better flood: a pause of the machine in
  # one spell says nothing about the game, a slow game slows both floods.
  quiet=$(printf '%s\n' "$quiet1" "$quiet2" "$quiet3" | sort -g | sed -n 2p)
  flooded=$(printf '%s\n' "$flood1" "$flood2" | sort -g | tail -n 1)
  printf 'frames per second: %.1f %.1f %.1f with the flood elsewhere, %.1f %.1f flooded\n' \
    "$quiet1" "$quiet2" "$quiet3" "$flood1" "$flood2" | tee -a "$ARTEFACTS/rates.txt"
  [ "$(echo "$flooded >= 0.9 * $quiet" | bc -l)" = 1 ]
}
compare_rates || compare_rates || fail "the flood slowed the host by more than 10%"
cat "$ARTEFACTS/flood.txt"

lines=$(grep -c malformed "$(dir_of Hostess)/stderr.txt")
echo "the host's complaints: $lines lines"
grep malformed "$(dir_of Hostess)/stderr.txt" | tail -n 3
[ "$lines" -le $((4 * FLOOD_SECONDS + 8)) ] || fail "a line per junk packet"
# Nothing but the state lines and the router's answer about the game port
# (a host of a TCP/IP game asks it, and none answers here).
out_of Hostess | grep -v -e '^STATE ' -e '^SYS: .*\(router\|forwarded by hand\)' | grep -q . &&
  fail "junk reached the game's messages: $(out_of Hostess | head)"

# A real player still gets in once the junk's half-open connections are gone.
sleep 6
start_player Latecomer 0 1 127.0.0.1; late=$PID
for _ in 1 2 3; do
  hold_key Return 0.3; sleep 2
  state_of "$late" Latecomer | grep -q "players=1:Hostess:" && break
done
state_of "$late" Latecomer | grep -q "players=1:Hostess:[-0-9]*,2:Latecomer:" || fail "no player could join after the flood"
echo PASS
