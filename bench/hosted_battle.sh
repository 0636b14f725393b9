#!/usr/bin/env bash
# The real game hosting an eight-player battle at 1024 x 768: the game
# program hosts over TCP/IP, seven of the hardest computer players join it
# on the loopback and fight; the host's player fires once a second (and so
# enters the game again whenever it has been destroyed), which draws the
# computer players to it, and turns its gun a little each time, so that its
# view sweeps the battle around it; and the host's own frame counter is read once a
# second (its STATE line, asked for with SIGUSR1) for BATTLE_SECONDS
# (default 30) after a settling time. Prints the median, lowest and highest
# reading, the frames counted over the whole time, the host's CPU time a
# frame (all its threads), and a screenshot's path.
#
# usage: bench/hosted_battle.sh BUILD_DIR   (under an X server, with
# MORVANE_UNPACED=1 so the counter shows what a frame costs; make bench
# does both)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
GAME_DIR=$(cd "${1:?usage: hosted_battle.sh BUILD_DIR}" && pwd)/game
SECONDS_OF_PLAY=${BATTLE_SECONDS:-30}
source "$root/tests/e2e/lib.sh"
source "$root/tests/e2e/net_lib.sh"
export SDL_AUDIODRIVER=dummy
[ -x "$GAME_DIR/Morvane" ] && [ -x "$GAME_DIR/morvane-bot" ] || fail "no game programs in $GAME_DIR"
ss -Hlun 2>/dev/null | grep -q ':24640 ' && fail "port 24640 is taken: another game is running"

RESOLUTION_ROW=5 start_player Hostess 1 1 ""; host=$PID
click
BOT_DIR=$(mktemp -d /tmp/morvane-battle-bots.XXXXXX)
DIRS+=("$BOT_DIR")
cp "$GAME_DIR/default.mvl" "$BOT_DIR"/
(cd "$BOT_DIR" && exec env -u DISPLAY "$GAME_DIR/morvane-bot" --count 7 --skill 3 127.0.0.1 \
  >bots.out 2>bots.err) & bots=$!
PIDS+=("$bots")
for _ in $(seq 300); do
  [ "$(grep -c ' is in ' "$BOT_DIR/bots.out")" = 7 ] && break
  sleep 0.1
done
[ "$(grep -c ' is in ' "$BOT_DIR/bots.out")" = 7 ] || { cat "$BOT_DIR/bots.err"; fail "the computer players did not all join"; }
sleep 5  # they spread out and find each other

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
field() { echo "$1" | sed -n "s/.* $2=\([0-9]*\).*/\1/p"; }
first=$(state_of "$host" Hostess)
ticks_start=$(cpu_ticks "$host")
start=$(date +%s.%N)
readings=()
for _ in $(seq "$SECONDS_OF_PLAY"); do
  xdotool mousedown 1 mousemove_relative -- 40 0; sleep 0.15; xdotool mouseup 1
  sleep 0.85
  kill -0 "$host" 2>/dev/null || fail "the host has ended"
  readings+=("$(field "$(state_of "$host" Hostess)" fps)")
done
last=$(state_of "$host" Hostess)
ticks_end=$(cpu_ticks "$host")
elapsed=$(echo "$(date +%s.%N) - $start" | bc -l)
import -window root /tmp/morvane-battle.png 2>/dev/null
frames=$(($(field "$last" frame) - $(field "$first" frame)))
kills=$(grep '^SYS: ' "$(dir_of Hostess)/stdout.txt" | grep -cv ' joined the game\.$\| left the game\.$')
sorted=$(printf '%s\n' "${readings[@]}" | sort -n)
count=${#readings[@]}
median=$(echo "$sorted" | sed -n "$((count / 2 + 1))p")
printf 'host at 1024x768 with 7 computer players, %d readings of its FPS counter: median %s, lowest %s, highest %s\n' \
  "$count" "$median" "$(echo "$sorted" | head -n 1)" "$(echo "$sorted" | tail -n 1)"
echo "kills announced on the host: $kills (repeats aside)"
echo "$frames frames in $(printf %.1f "$elapsed") s: $(echo "$frames / $elapsed" | bc -l | xargs printf %.1f) a second;" \
  "the host's CPU time $(echo "($ticks_end - $ticks_start) * 1000 / $(getconf CLK_TCK) / $frames" | bc -l |
  xargs printf %.2f) ms a frame; screenshot /tmp/morvane-battle.png"
kill -TERM "$bots" "$host" 2>/dev/null
wait_exit "$bots" 100
wait_exit "$host" 300
exit 0
