#!/usr/bin/env bash
# A host, a client and a computer player, each in a network namespace of its
# own, every client's link to the host through a relay that loses, delays,
# duplicates and reorders datagrams. The two windowed programs have screens
# of their own, so both windows stay active throughout, as two players' at
# two machines do. After a minute of play (driving, shots and chat from both
# windowed programs, the computer player fighting on its own) all three
# agree on the player table, the health values and the projectiles alive;
# every program's own tank is what the host's copy of it says (health, in
# play); every shot a program fired was numbered by the host (but for the
# stale requests it drops on purpose); and no sanitizer has anything to say.
# Then a client's link is cut (the others see it leave within 10 s), and the
# host's (the computer player stops, as it does when its host goes).
#
# Needs root for the namespaces; elsewhere it reports itself skipped (77).
set -uo pipefail
source "$(dirname "$0")/lib.sh"
GAME_DIR=$1
ARTEFACTS=${2:-$(mktemp -d /tmp/morvane-badnet.XXXXXX)}
mkdir -p "$ARTEFACTS"
source "$(dirname "$0")/net_lib.sh"
RELAY="$(dirname "$0")/impaired_relay.py"
PLAY_SECONDS=${PLAY_SECONDS:-60}

tag=mv$$
if [ "$(id -u)" != 0 ] || ! ip netns add "${tag}h" 2>/dev/null; then
  echo "SKIPPED: network namespaces need root"; exit 77
fi
NAMESPACES=("${tag}h")
trap 'for p in "${PIDS[@]}"; do kill -9 $p 2>/dev/null; done; rm -rf "${DIRS[@]}";
      for n in "${NAMESPACES[@]}"; do ip netns del $n 2>/dev/null; done' EXIT
ip -n "${tag}h" link set lo up

# A client's namespace, joined to the host's (see veth_namespace). The client's
# game talks to a relay on its own loopback, which passes everything on to
# the host through the bad link.
link_client() {
  local n=$1 ns=${tag}c$1
  veth_namespace "$n"
  ip netns exec "$ns" python3 "$RELAY" --listen 127.0.0.1 --host "198.18.$n.1" --seed "$n" \
    --loss 0.05 --delay 0.04 --jitter 0.03 --duplicate 0.03 --seconds 400 \
    > "$ARTEFACTS/relay$n.txt" 2>&1 &
  RELAYS+=($!)
  PIDS+=($!)
}
RELAYS=()

# Chooses the listed game with Enter until the program has joined it (run
# with DISPLAY set to the program's screen).
join_listed_game() {
  for _ in 1 2 3; do
    hold_key Return 0.3; sleep 2
    state_of "$1" "$2" | grep -q "players=1:Hostess:" && { click; return 0; }
  done
  fail "$2 could not join the game"
}
link_client 1
link_client 2
sleep 0.5

start_display ann_display
start_player Hostess 1 1 "" ip netns exec "${tag}h"; host=$PID; host_win=$WIN
click
DISPLAY=$ann_display start_player Ann 0 1 127.0.0.1 ip netns exec "${tag}c1"; ann=$PID; ann_win=$WIN
activate "$host_win" 0.3
DISPLAY=$ann_display activate "$ann_win" 0.3
DISPLAY=$ann_display join_listed_game "$ann" Ann
# Bob is a computer player: no window, no picture to draw.
BOB_DIR=$(mktemp -d /tmp/morvane-Bob.XXXXXX)
DIRS+=("$BOB_DIR")
cp "$GAME_DIR/default.mvl" "$BOB_DIR"/
(cd "$BOB_DIR" && exec env -u DISPLAY ip netns exec "${tag}c2" "$(readlink -f "$GAME_DIR")/morvane-bot" \
  --name Bob --skill 2 --seed 5 127.0.0.1 >stdout.txt 2>stderr.txt) & bob=$!
PIDS+=("$bob")
DIR_Bob=$BOB_DIR
wait_line Bob "Bob is in Hostess's game." 150 || { cat "$BOB_DIR/stderr.txt"; fail "Bob did not join"; }

# A minute of play: each windowed program in turn drives or turns, shoots
# twice and every other time talks, on its own screen; neither window loses
# the focus.
displays=("$DISPLAY" "$ann_display")
keys=(Up Left Down Right)
end=$((SECONDS + PLAY_SECONDS))
turn=0
while [ $SECONDS -lt $end ]; do
  export DISPLAY=${displays[$((turn % 2))]}
  hold_key "${keys[$((turn / 2 % 4))]}" 0.4  # each program drives every way
  click; click
  if [ $((turn / 2 % 2)) = 1 ]; then
    hold_key t 0.2; sleep 0.2; type_slowly "turn $turn"; hold_key Return 0.2
  fi
  turn=$((turn + 1))
done
export DISPLAY=${displays[0]}
shot 01-end-of-play

DISPLAY=$ann_display shot 01-ann-end-of-play

# Settle: no more input, the computer player holds still and silent, the
# last shells end and every program hears the others' last word. The link
# lags and loses, so the states are compared until they agree, for up to
# 30 s.
kill -USR2 "$bob"
agree() {
  [ "$(shared_view "$host_state")" = "$(shared_view "$ann_state")" ] &&
    [ "$(shared_view "$host_state")" = "$(shared_view "$bob_state")" ] &&
    own_tanks_disagree "$host_state" "$host_state" "$ann_state" "$bob_state" >/dev/null
}
for _ in $(seq 10); do
  sleep 3
  host_state=$(state_of "$host" Hostess)
  ann_state=$(state_of "$ann" Ann)
  bob_state=$(state_of "$bob" Bob)
  agree && break
done
printf '%s\n' "host: $host_state" "Ann:  $ann_state" "Bob:  $bob_state" | tee "$ARTEFACTS/states.txt"
[ -n "$host_state" ] || fail "the host gave no state"
echo "$host_state" | grep -q "players=1:Hostess:[-0-9]*,2:Ann:[-0-9]*,3:Bob:[-0-9]*, " || fail "the host's table is not the three players"
[ "$(shared_view "$host_state")" = "$(shared_view "$ann_state")" ] || fail "Ann and the host disagree"
[ "$(shared_view "$host_state")" = "$(shared_view "$bob_state")" ] || fail "Bob and the host disagree"
own_tanks_disagree "$host_state" "$host_state" "$ann_state" "$bob_state" ||
  fail "a program's own tank is not what the host holds of it"
shots_lost "$host_state" "$host_state" "$ann_state" "$bob_state" || fail "shots were lost on the way to the host"
ann_fired=$(state_field "$ann_state" own | cut -d: -f4)
[ "${ann_fired:-0}" -ge 5 ] || fail "Ann fired only ${ann_fired:-no} shots"
chats=$(out_of Bob | grep -c ': .*URN')
echo "Bob read $chats chat lines"
[ "$chats" -gt 0 ] || fail "no chat line reached Bob"

# Ann's link is cut: the host and Bob see her leave within 10 seconds.
ip -n "${tag}c1" link set "${tag}a1" down
wait_line Hostess "SYS: Ann left the game." 100 || fail "the host did not see Ann's link go"
wait_line Bob "SYS: Ann left the game." 100 || fail "Bob did not see Ann's link go"

# The host's link is cut: the computer player stops and its program ends.
ip -n "${tag}h" link set "${tag}b2" down
wait_line Bob "SYS: The host has disconnected..." 100 || fail "Bob did not notice the host had gone"
wait_line Bob "Bob stops: the host has gone." 10 || fail "Bob did not stop without its host"
wait_exit "$bob" 100 || fail "Bob's program did not end"
[ "$EXIT_CODE" = 0 ] || fail "Bob's program ended with $EXIT_CODE"

# Everybody quits cleanly; nobody's sanitizers found anything.
for p in "$host" "$ann" "${RELAYS[@]}"; do kill -TERM "$p" 2>/dev/null; done
for p in "$host" "$ann"; do wait_exit "$p" 300 || fail "a program did not quit"; done
for name in Hostess Ann Bob; do
  cp "$(dir_of $name)/stdout.txt" "$ARTEFACTS/$name-stdout.txt"
  cp "$(dir_of $name)/stderr.txt" "$ARTEFACTS/$name-stderr.txt"
  if sanitizer_reports $name; then fail "sanitizer report from $name"; fi
done
cat "$ARTEFACTS"/relay*.txt
echo PASS
