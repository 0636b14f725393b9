#!/usr/bin/env bash
# make soak SOAK_MODE=player: the shipped game (the optimized, hardened
# programs of build/, as the package installs them) played as a newcomer
# plays it, on a busy machine, for SOAK_MINUTES (default 10).
#
# The game hosts at its default drawing size (640 x 480, scaled into the
# 1024 x 768 virtual screen make soak starts) and three computer players
# join it, as `morvane --bots 3` does. A scripted player enters, drives,
# turns, fires, dies and enters again, opens the pause menu and the chat
# line and switches to another window and back, while busy loops keep every
# core loaded. Games of SOAK_GAME_SECONDS (default 120) follow each other
# until the time is up; a game whose program dies is a crash: its core (the
# kernel's core pattern permitting), a backtrace of every thread and its
# output are kept in the artefacts folder, and the next game starts.
# It ends with the number of crashes, which must be 0.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tests/e2e/lib.sh"
GAME_DIR="$root/${SOAK_BUILD:-build}/game"
MINUTES=${SOAK_MINUTES:-10}
GAME_SECONDS=${SOAK_GAME_SECONDS:-120}
SKILL=${SOAK_SKILL:-1}
LOAD=${SOAK_LOAD:-$(nproc)}
ARTEFACTS=${SOAK_ARTEFACTS:-$(mktemp -d /tmp/morvane-soak-player.XXXXXX)}
mkdir -p "$ARTEFACTS"
export ARTEFACTS
source "$root/tests/e2e/net_lib.sh"
# The game's ports are fixed: as root the soak runs in a network namespace
# of its own that has only a loopback.
run_in_own_namespace "$0" "$@"
[ -x "$GAME_DIR/Morvane" ] && [ -x "$GAME_DIR/morvane-bot" ] || fail "no game programs in $GAME_DIR"
[ -n "${DISPLAY:-}" ] || fail "no display: run it through make soak SOAK_MODE=player"
export SDL_AUDIODRIVER=dummy
NAME=Newcomer

# Other work on every core: busy loops at the game's own priority.
HELPERS=()
for _ in $(seq "$LOAD"); do
  (exec bash -c 'while :; do :; done') & HELPERS+=("$!")
done
# A window to switch to, as a player switches to a terminal or a browser.
xmessage -title Elsewhere -geometry 300x80+40+40 "Elsewhere" >/dev/null 2>&1 & HELPERS+=("$!")
PIDS+=("${HELPERS[@]}")
elsewhere=$(wait_for_window Elsewhere 100 || true)

crashes=0 games=0 deaths=0 kills=0 pauses=0 chats=0 aways=0
declare -a crash_notes=()

# Keeps what a crashed game left: its output, its core and a backtrace.
keep_crash() {
  local dir=$1 code=$2 kept="$ARTEFACTS/crash-$games" core
  mkdir -p "$kept"
  cp "$dir/stdout.txt" "$dir/stderr.txt" "$dir/log.txt" "$kept"/ 2>/dev/null
  cp "$dir/Morvane" "$kept"/
  core=$(ls -t "$dir"/core* 2>/dev/null | head -n 1)
  if [ -n "$core" ]; then
    mv "$core" "$kept/core"
    if command -v gdb >/dev/null; then
      gdb -batch -ex 'thread apply all bt' "$kept/Morvane" "$kept/core" > "$kept/backtrace.txt" 2>&1
    fi
  else
    echo "no core file (the kernel's core pattern is $(cat /proc/sys/kernel/core_pattern))" > "$kept/backtrace.txt"
  fi
  crash_notes+=("game $games: exit status $code, $(grep -m 1 -E 'malloc|free\(\)|corrupt|Assert' "$dir/stderr.txt") -> $kept")
  echo "CRASH in game $games (exit status $code); kept in $kept"
}

# One scripted move of the player; the pause menu, the chat line and the
# other window come round every few moves.
play_move() {
  local move=$1 win=$2
  xdotool mousedown 1; sleep 0.15; xdotool mouseup 1     # enter, or fire
  xdotool keydown Up; sleep 0.8; xdotool keyup Up
  if [ $((move % 2)) = 0 ]; then hold_key Left 0.5; else hold_key Right 0.5; fi
  xdotool mousemove_relative -- $((RANDOM % 80 - 40)) $((RANDOM % 10 - 5))
  xdotool mousedown 1; sleep 0.15; xdotool mouseup 1
  if [ $((move % 5)) = 2 ]; then
    hold_key t 0.2; sleep 0.3; type_slowly "gg"; hold_key Return 0.2
    chats=$((chats + 1))
  fi
  if [ $((move % 7)) = 3 ]; then
    hold_key Escape 0.15; sleep 1.5; hold_key Escape 0.15
    pauses=$((pauses + 1))
  fi
  if [ $((move % 11)) = 5 ] && [ -n "$elsewhere" ]; then
    xdotool windowraise "$elsewhere" windowfocus "$elsewhere"; sleep 4
    xdotool windowraise "$win" windowfocus "$win"
    aways=$((aways + 1))
  fi
  sleep 0.5
}

# Lines of the host's output that announce a kill, with a line repeated at
# once counted by the echo rather than printed again.
count_kills() {
  awk -v pattern="$2" '/^SYS: / && !/ joined the game\.$/ && !/ left the game\.$/ {
         last = ($0 ~ pattern); n += last; next }
       /^\(the line above was repeated [0-9]+ more times\)$/ { if (last) n += $6; next }
       { last = 0 } END { print n + 0 }' "$1"
}

echo "artefacts in $ARTEFACTS; $MINUTES minutes of games of $GAME_SECONDS s, $LOAD busy loops"
end=$((SECONDS + MINUTES * 60))
while [ $SECONDS -lt $end ]; do
  games=$((games + 1))
  dir=$(mktemp -d /tmp/morvane-soak-game.XXXXXX)
  DIRS+=("$dir")
  cp -r "$GAME_DIR"/. "$dir"/
  rm -f "$dir/config.dat" "$dir/log.txt"
  # The configurator's first values, hosting over TCP/IP.
  printf 'MRVN_CONFIG\r\nSET_RESOLUTION 3 \r\nSET_SOUND 1 \r\nSET_MUSIC 1 \r\nSET_PARTICLES 1 \r\nSET_PLAYERNAME "%s"\r\nSET_SERVER 1\r\nSET_NETWORKING 1 \r\nSET_IPADDRESS ""\r\n' \
    "$NAME" > "$dir/config.dat"
  (cd "$dir" && ulimit -c unlimited && exec ./Morvane >stdout.txt 2>stderr.txt) & host=$!
  PIDS+=("$host")
  win=$(wait_for_window "Morvane - " 300) || { echo "game $games: no window"; kill -9 "$host"; continue; }
  sleep 2
  click
  (cd "$dir" && exec env -u DISPLAY ./morvane-bot --count 3 --skill "$SKILL" 127.0.0.1 \
    >bots.out 2>bots.err) & bots=$!
  PIDS+=("$bots")
  game_end=$((SECONDS + GAME_SECONDS))
  move=0
  while [ $SECONDS -lt $game_end ] && kill -0 "$host" 2>/dev/null; do
    move=$((move + 1))
    play_move "$move" "$win"
    [ "$move" = 4 ] && shot "game-$games"
  done
  if kill -0 "$host" 2>/dev/null; then
    kill -TERM "$host"
    if wait_exit "$host" 100 && [ "$EXIT_CODE" = 0 ]; then
      :
    else
      crashes=$((crashes + 1)); keep_crash "$dir" "${EXIT_CODE:-killed}"
    fi
  else
    wait "$host"; code=$?
    crashes=$((crashes + 1)); keep_crash "$dir" "$code"
  fi
  kill -TERM "$bots" 2>/dev/null; wait_exit "$bots" 100
  deaths=$((deaths + $(count_kills "$dir/stdout.txt" "^SYS: $NAME ")))
  kills=$((kills + $(count_kills "$dir/stdout.txt" " $NAME\\.\$")))
  echo "game $games: $(count_kills "$dir/stdout.txt" '.') kills announced, $NAME died $(count_kills "$dir/stdout.txt" "^SYS: $NAME ") times"
  rm -rf "$dir"
done

kill "${HELPERS[@]}" 2>/dev/null; wait "${HELPERS[@]}" 2>/dev/null
echo "== soak of the shipped game as a player: $MINUTES minutes, $games games, $LOAD busy loops"
echo "$NAME: $deaths deaths, $kills kills; pause menu $pauses times, chat line $chats times, away $aways times"
for note in "${crash_notes[@]}"; do echo "$note"; done
echo "crashes: $crashes"
[ "$crashes" = 0 ] && [ "$games" -gt 0 ] && { echo PASS; exit 0; }
echo FAIL
exit 1
