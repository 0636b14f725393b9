#!/usr/bin/env bash
# make soak: an eight-player game for SOAK_MINUTES (default 10). One real
# game program hosts under a virtual display; seven computer players in one
# morvane-bot join it through the impairing relay of the bad-network test
# (loss, delay, reordering, duplicates). At the end the players are held
# still, the game settles, and the script prints the kills announced, the
# shots fired, every program's STATE line (they must agree), the host's
# resident memory at the start and the end, the relay's counts, and any
# sanitizer report. Runs the programs of SOAK_BUILD (default build-asan).
# With SOAK_HOST=server the host is morvane-server, without a display, in
# place of the windowed game program (the kills are then its log's).
#
# Needs root for its network namespaces. Run it through make soak, which
# builds first and starts the virtual display.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tests/e2e/lib.sh"
GAME_DIR="$root/${SOAK_BUILD:-build-asan}/game"
MINUTES=${SOAK_MINUTES:-10}
ARTEFACTS=${SOAK_ARTEFACTS:-$(mktemp -d /tmp/morvane-soak.XXXXXX)}
mkdir -p "$ARTEFACTS"
source "$root/tests/e2e/net_lib.sh"
RELAY="$root/tests/e2e/impaired_relay.py"
export SDL_AUDIODRIVER=dummy
# As the test run does: sanitizers halt on the first report, leaks of the
# system libraries are told apart from ours (see scripts/run-tests.sh).
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:verify_asan_link_order=0
export LSAN_OPTIONS=suppressions=$root/tests/leak_suppressions.txt:print_suppressions=0
keep="$root/${SOAK_BUILD:-build-asan}/tests/libkeep_libraries.so"
[ -f "$keep" ] && export LD_PRELOAD=$keep
[ -x "$GAME_DIR/Morvane" ] && [ -x "$GAME_DIR/morvane-bot" ] || fail "no game programs in $GAME_DIR"

tag=mvs$$
if [ "$(id -u)" != 0 ] || ! ip netns add "${tag}h" 2>/dev/null; then
  fail "the soak needs root for its network namespaces"
fi
NAMESPACES=("${tag}h" "${tag}c")
trap 'for p in "${PIDS[@]}"; do kill -9 $p 2>/dev/null; done; rm -rf "${DIRS[@]}";
      for n in "${NAMESPACES[@]}"; do ip netns del $n 2>/dev/null; done' EXIT
ip netns add "${tag}c"
for n in "${tag}h" "${tag}c"; do ip -n "$n" link set lo up; done
ip link add "${tag}a" type veth peer name "${tag}b"
ip link set "${tag}a" netns "${tag}c"
ip link set "${tag}b" netns "${tag}h"
ip -n "${tag}c" addr add 198.18.1.2/24 dev "${tag}a" && ip -n "${tag}c" link set "${tag}a" up
ip -n "${tag}h" addr add 198.18.1.1/24 dev "${tag}b" && ip -n "${tag}h" link set "${tag}b" up
ip netns exec "${tag}c" python3 "$RELAY" --listen 127.0.0.1 --host 198.18.1.1 --seed 1 \
  --loss 0.05 --delay 0.04 --jitter 0.03 --duplicate 0.03 --seconds $((MINUTES * 60 + 300)) \
  > "$ARTEFACTS/relay.txt" 2>&1 &
relay=$!
PIDS+=("$relay")
echo "artefacts in $ARTEFACTS; $MINUTES minutes of play"

if [ "${SOAK_HOST:-game}" = server ]; then
  [ -x "$GAME_DIR/morvane-server" ] || fail "no morvane-server in $GAME_DIR"
  DIR_Hostess=$(mktemp -d /tmp/morvane-soak-server.XXXXXX)
  DIRS+=("$DIR_Hostess")
  cp "$GAME_DIR/default.mvl" "$DIR_Hostess"/
  # The sanitizer keeps freed memory aside (256 MB by default) to catch its
  # use; the server's few megabytes would look like growth until that is
  # full, so it keeps less, and full well before the first reading.
  (cd "$DIR_Hostess" && exec env -u DISPLAY ASAN_OPTIONS="$ASAN_OPTIONS:quarantine_size_mb=8" \
    ip netns exec "${tag}h" "$GAME_DIR/morvane-server" \
    --name "Soak server" >stdout.txt 2>stderr.txt) & host=$!
  PIDS+=("$host")
  sleep 1
else
  start_player Hostess 1 1 "" ip netns exec "${tag}h"; host=$PID
  click
fi
BOT_DIR=$(mktemp -d /tmp/morvane-soak-bots.XXXXXX)
DIRS+=("$BOT_DIR")
cp "$GAME_DIR/default.mvl" "$BOT_DIR"/
(cd "$BOT_DIR" && exec env -u DISPLAY ip netns exec "${tag}c" "$GAME_DIR/morvane-bot" --count 7 \
  --skill 2 127.0.0.1 >bots.out 2>bots.err) & bots=$!
PIDS+=("$bots")
for _ in $(seq 600); do
  [ "$(grep -c ' is in ' "$BOT_DIR/bots.out")" = 7 ] && break
  kill -0 "$bots" 2>/dev/null || break
  sleep 0.1
done
[ "$(grep -c ' is in ' "$BOT_DIR/bots.out")" = 7 ] || { cat "$BOT_DIR/bots.err"; fail "the computer players did not all join"; }

rss() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
sleep 30
rss_start=$(rss "$host")
echo "host's resident memory after 30 s: $rss_start kB"
: > "$ARTEFACTS/memory.txt"
end=$((SECONDS + MINUTES * 60 - 30))
while [ $SECONDS -lt $end ]; do
  kill -0 "$host" 2>/dev/null || fail "the host has ended"
  kill -0 "$bots" 2>/dev/null || fail "the computer players have ended"
  echo "$SECONDS s: $(rss "$host") kB" >> "$ARTEFACTS/memory.txt"
  sleep 30
done
shot end-of-play
rss_end=$(rss "$host")

# Settle: every player holds still and silent; the shells in flight end.
# The link lags and loses, so the states are read again until they agree,
# every 3 s for up to 40 s.
kill -USR2 "$bots"
sleep 5
bot_state_now() {
  local lines
  lines=$(grep -c '^STATE ' "$BOT_DIR/bots.out")
  kill -USR1 "$bots"
  for _ in $(seq 100); do [ "$(grep -c '^STATE ' "$BOT_DIR/bots.out")" -gt "$lines" ] && break; sleep 0.1; done
  grep '^STATE ' "$BOT_DIR/bots.out" | tail -n 1
}
for _ in $(seq 11); do
  sleep 3
  host_state=$(state_of "$host" Hostess)
  bot_state=$(bot_state_now)
  [ "$(shared_view "$host_state")" = "$(shared_view "$bot_state")" ] &&
    own_tanks_disagree "$host_state" "$host_state" "$bot_state" >/dev/null && break
done

kill -TERM "$bots"; wait_exit "$bots" 100 || fail "morvane-bot did not end on SIGTERM"
bots_code=$EXIT_CODE
kill -TERM "$host"; wait_exit "$host" 300 || fail "the host did not end on SIGTERM"
kill -TERM "$relay" 2>/dev/null; sleep 0.5
cp "$(dir_of Hostess)/stdout.txt" "$ARTEFACTS/host-stdout.txt"
cp "$(dir_of Hostess)/stderr.txt" "$ARTEFACTS/host-stderr.txt"
cp "$BOT_DIR/bots.out" "$BOT_DIR/bots.err" "$ARTEFACTS"/

# Kills are the host's event lines; a line repeated at once is counted by
# the echo rather than printed again.
# The server's log has one line a kill.
kills=$(awk '/^SYS: / && !/ joined the game\.$/ && !/ left the game\.$/ { n++; last = 1; next }
             /^[0-9-]+ [0-9:]+ kill: / { n++; last = 0; next }
             /^\(the line above was repeated [0-9]+ more times\)$/ { if (last) n += $6; next }
             { last = 0 } END { print n + 0 }' "$ARTEFACTS/host-stdout.txt")
shots=$(awk '/ fired [0-9]+ shots\.$/ { n += $(NF - 1) } END { print n + 0 }' "$BOT_DIR/bots.out")
echo "== soak of $MINUTES minutes, 8 players"
echo "kills announced on the host: $kills"
echo "shots fired by the computer players: $shots"
echo "host:          $host_state"
echo "morvane-bot:   $bot_state"
echo "host's resident memory: $rss_start kB after 30 s, $rss_end kB at the end"
cat "$ARTEFACTS/relay.txt"
status=0
[ "$(shared_view "$host_state")" = "$(shared_view "$bot_state")" ] || { echo "FAIL: the states disagree"; status=1; }
own_tanks_disagree "$host_state" "$host_state" "$bot_state" ||
  { echo "FAIL: a program's own tank is not what the host holds of it"; status=1; }
echo -n "shots by player: "
shots_lost "$host_state" "$host_state" "$bot_state" || { echo "FAIL: shots were lost on the way to the host"; status=1; }
[ "$bots_code" = 0 ] || { echo "FAIL: morvane-bot ended with $bots_code"; status=1; }
if grep -E 'AddressSanitizer|LeakSanitizer|runtime error:' "$ARTEFACTS/host-stderr.txt" "$ARTEFACTS/bots.err"; then
  echo "FAIL: sanitizer reports"; status=1
else
  echo "no sanitizer reports"
fi
[ "$rss_end" -le $((rss_start + rss_start / 10)) ] || { echo "FAIL: the host's memory grew"; status=1; }
[ "$kills" -gt 0 ] || { echo "FAIL: no kill announced"; status=1; }
[ $status = 0 ] && echo PASS
exit $status
