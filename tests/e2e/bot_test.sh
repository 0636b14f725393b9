#!/usr/bin/env bash
# morvane-bot against the real game program, with no display of its own:
# three computer players join a host over TCP/IP at the default skill and
# fight each other there, in view of the host's screen;
# the program answers SIGUSR1 with its view of the game; when the game fills
# up part way the players that joined play on; an unreachable host, a
# missing level and bad arguments fail with their reasons; SIGTERM leaves at
# once; when the host goes the players stop and the program ends. Then
# morvane-server hosts with no display and three computer players of its
# own: the real game program lists and joins it and sees their tanks, a
# kill reaches the server's log, a person joining the full game is taken in
# place of a computer player, bad arguments and a taken port fail with their
# reasons, and SIGTERM ends the server at once for every player. Then a game
# found on the local network.
#
# As root the whole test runs in a network namespace of its own that has
# only a loopback, so the game's broadcasts and fixed ports meet nothing
# else on the machine.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
GAME_DIR=$1
ARTEFACTS=${2:-$(mktemp -d /tmp/morvane-bot.XXXXXX)}
mkdir -p "$ARTEFACTS"
source "$(dirname "$0")/net_lib.sh"
run_in_own_namespace "$0" "$@"
[ -n "${MORVANE_NETNS:-}" ] || echo "not root or no namespaces: running on this machine's loopback, LAN part skipped"

BOT=$(readlink -f "$GAME_DIR")/morvane-bot
SERVER=$(readlink -f "$GAME_DIR")/morvane-server
BOT_DIR=$(mktemp -d /tmp/morvane-bots.XXXXXX)
DIRS+=("$BOT_DIR")
cp "$GAME_DIR/default.mvl" "$BOT_DIR"/

# start_bot NAME ARGS...: morvane-bot in BOT_DIR without a display, its
# output in NAME.out and NAME.err there; sets BOT_PID.
start_bot() {
  local name=$1
  shift
  (cd "$BOT_DIR" && exec env -u DISPLAY "$BOT" "$@" >"$name.out" 2>"$name.err") & BOT_PID=$!
  PIDS+=("$BOT_PID")
}
bot_out() { cat "$BOT_DIR/$1.out"; }
# Waits up to a number of tenths of a second for a line in a bot's output.
wait_bot_line() {
  for _ in $(seq "${3:-100}"); do grep -qxF "$2" "$BOT_DIR/$1.out" && return 0; sleep 0.1; done
  echo "--- $1 printed:"; bot_out "$1"; cat "$BOT_DIR/$1.err"; return 1
}
no_sanitizer_reports() {
  ! grep -E 'AddressSanitizer|LeakSanitizer|runtime error:' "$BOT_DIR/$1.err" ||
    fail "sanitizer reports from morvane-bot ($1)"
}

echo "-- three computer players join and fight"
start_player Hostess 1 1 ""; host=$PID; host_win=$WIN
# A busy machine may take a while to draw the host's first frame, which
# opens its game: until then the program finds no game and says so.
for attempt in $(seq 10); do
  start_bot trio --count 3 --seed 0 127.0.0.1; trio=$BOT_PID
  for _ in $(seq 100); do
    grep -q "is in Hostess's game" "$BOT_DIR/trio.out" && break 2
    kill -0 "$trio" 2>/dev/null || break
    sleep 0.1
  done
  echo "attempt $attempt: $(cat "$BOT_DIR/trio.err")"
  grep -q "The game did not answer." "$BOT_DIR/trio.err" || break
  sleep 1
done
wait_line Hostess "SYS: Bot Alfa joined the game." || fail "Bot Alfa did not join"
wait_line Hostess "SYS: Bot Bravo joined the game." || fail "Bot Bravo did not join"
wait_line Hostess "SYS: Bot Charlie joined the game." || fail "Bot Charlie did not join"
wait_bot_line trio "Bot Charlie is in Hostess's game." || fail "the program did not say it was in"

# The host's screen shows the computer players' tanks (saturated blue, above
# the HUD's bottom lines) as they roam past its view. They enter around the
# arena's rim, so the host (at the middle, waiting to enter) turns its view
# by 30 degrees between pictures to sweep the whole arena. A tank across the
# arena is a few pixels of the scaled picture; nothing else on it is that
# blue (0 in every picture without a tank).
tank_pixels() {
  convert "$ARTEFACTS/$1.png" -crop 1024x640+0+40 -scale 25% \
    -fx '(b > 0.55 && r < 0.2 && g < 0.2) ? 1 : 0' -format '%[fx:int(mean*w*h)]' info: 2>/dev/null
}
seen=0
for try in $(seq 40); do
  shot "host-view-$try"
  seen=$(tank_pixels "host-view-$try")
  [ "${seen:-0}" -ge 4 ] && { cp "$ARTEFACTS/host-view-$try.png" "$ARTEFACTS/host-sees-tanks.png"; break; }
  xdotool mousemove_relative -- 300 0
  sleep 1
done
[ "${seen:-0}" -ge 4 ] || fail "the host's screen never showed a computer player's tank"

for _ in $(seq 600); do
  out_of Hostess | grep -qE '^SYS: Bot (Alfa|Bravo|Charlie) .+ Bot (Alfa|Bravo|Charlie)$' && break
  sleep 0.1
done
kill=$(out_of Hostess | grep -m 1 -E '^SYS: Bot (Alfa|Bravo|Charlie) .+ Bot (Alfa|Bravo|Charlie)$') ||
  fail "no kill between the computer players within 60 seconds"
echo "the host saw: $kill"
wait_bot_line trio "$kill" 50 || fail "the program did not print the kill the host announced"

echo "-- the score table"
# The computer players hold still and silent, and the shells in flight end,
# before the host's score is compared with theirs.
kill -USR2 "$trio"
sleep 6
host_state=$(state_of "$host" Hostess)
echo "host: $host_state"
kill -USR1 "$trio"
for _ in $(seq 50); do grep -q '^STATE ' "$BOT_DIR/trio.out" && break; sleep 0.1; done
state=$(grep -m 1 '^STATE ' "$BOT_DIR/trio.out") || fail "no STATE line on SIGUSR1"
echo "bots: $state"
for player in "1:Hostess:" "2:Bot Alfa:" "3:Bot Bravo:" "4:Bot Charlie:"; do
  [[ "$state" == *"$player"* ]] || fail "the STATE line lacks $player"
done
scores_of() { echo "$1" | grep -o ' scores=[^ ]*'; }
[ "$(scores_of "$host_state")" = "$(scores_of "$state")" ] || fail "the computer players' scores are not the host's"
# kills_of STATE NAME: the player's kills in a STATE line.
kills_of() {
  local id
  id=$(echo "$1" | grep -o "[0-9]*:$2:" | head -n 1 | cut -d: -f1)
  scores_of "$1" | grep -o "[=,]$id:[0-9]*:" | cut -d: -f2
}
shooter=$(echo "$kill" | awk '{ print $(NF - 1), $NF }')
[ "$(kills_of "$host_state" "$shooter")" -ge 1 ] 2>/dev/null ||
  fail "the host did not credit $shooter with the kill it announced"

# Tab held on the host shows the table over the picture; released, it goes.
# Its text is read back from the screenshot: every player's name is there.
read_table() {
  local geometry
  geometry=$(xwininfo -id "$host_win" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
    /Width:/{w=$2} /Height:/{h=$2} END{printf "%dx%d+%d+%d", w, h * 0.42, x, y + h * 0.56}')
  convert "$ARTEFACTS/$1.png" -crop "$geometry" +repage -colorspace Gray -negate -resize 300% \
    "$ARTEFACTS/$1-table.png"
  tesseract "$ARTEFACTS/$1-table.png" stdout --psm 6 2>/dev/null
}
activate "$host_win" 1
xdotool keydown Tab; sleep 1; shot host-scores; xdotool keyup Tab; sleep 1
shot host-scores-released
table=$(read_table host-scores)
echo "$table" | tee "$ARTEFACTS/host-scores.txt"
for name in Hostess "Bot Alfa" "Bot Bravo" "Bot Charlie" KILLS DEATHS PING; do
  echo "$table" | grep -qF "$name" || fail "the score table on the host's screen lacks $name"
done
read_table host-scores-released | grep -qF KILLS && fail "the score table stayed after Tab was released"
kill -USR2 "$trio"

echo "-- refusals"
# Four more fill the game: the fifth is refused, the four play on.
start_bot full --count 5 --name Filler 127.0.0.1; filler=$BOT_PID
for _ in $(seq 150); do grep -q "play on" "$BOT_DIR/full.err" && break; sleep 0.1; done
grep -qxF "morvane-bot: Filler 5 could not join: The game is full: it has 8 players." "$BOT_DIR/full.err" ||
  { cat "$BOT_DIR/full.err"; fail "no reason for the refusal"; }
grep -qxF "morvane-bot: the 4 that joined play on." "$BOT_DIR/full.err" ||
  { cat "$BOT_DIR/full.err"; fail "the program did not keep the players that joined"; }
sleep 1
kill -0 "$filler" 2>/dev/null || fail "the program gave up when the game filled up"
out_of Hostess | grep -q "^SYS: Filler.* left the game.$" && fail "a player that joined left when the game filled up"
kill -TERM "$filler"
wait_exit "$filler" 50 || fail "the program did not end on SIGTERM"
[ "$EXIT_CODE" = 0 ] || fail "the program ended with $EXIT_CODE after the game had filled up"
for name in Filler "Filler 4"; do
  wait_line Hostess "SYS: $name left the game." 30 || fail "$name did not leave when the program ended"
done
(cd "$BOT_DIR" && env -u DISPLAY "$BOT" 10.255.255.1 >lost.out 2>lost.err)
[ $? = 1 ] || fail "an unreachable host did not end the program with 1"
grep -q "could not join: The game did not answer.$" "$BOT_DIR/lost.err" || { cat "$BOT_DIR/lost.err"; fail "no reason for an unreachable host"; }
(cd "$ARTEFACTS" && env -u DISPLAY "$BOT" --level nowhere.mvl 127.0.0.1 >/dev/null 2>"$BOT_DIR/level.err")
[ $? = 1 ] || fail "a missing level did not end the program with 1"
grep -q "nowhere.mvl cannot be loaded" "$BOT_DIR/level.err" || fail "no reason for a missing level"
"$BOT" --skill 4 >/dev/null 2>"$BOT_DIR/args.err"
[ $? = 2 ] || fail "a bad argument did not end the program with 2"
grep -q "skill takes 1, 2 or 3" "$BOT_DIR/args.err" || fail "no reason for a bad argument"
"$BOT" --help | grep -q "^Usage: morvane-bot" || fail "no usage from --help"

echo "-- SIGTERM leaves at once"
kill -USR2 "$trio"
sleep 6
host_state=$(state_of "$host" Hostess)
kill -TERM "$trio"
wait_exit "$trio" 50 || fail "the program did not end on SIGTERM"
[ "$EXIT_CODE" = 0 ] || fail "the program ended with $EXIT_CODE on SIGTERM"
# Each computer player's last word is its score, as the host counted it.
grep ' scored ' "$BOT_DIR/trio.out"
for name in "Bot Alfa" "Bot Bravo" "Bot Charlie"; do
  kills=$(kills_of "$host_state" "$name")
  grep -qE "^$name scored $kills kills and [0-9]+ deaths \(round trip [0-9]+ ms\)\.$" "$BOT_DIR/trio.out" ||
    fail "$name's score at the end is not the host's $kills kills"
done
for name in Alfa Bravo Charlie; do
  wait_line Hostess "SYS: Bot $name left the game." 20 || fail "the host did not see Bot $name leave at once"
done
no_sanitizer_reports trio

echo "-- the host goes"
start_bot stayer --name Stayer 127.0.0.1; stayer=$BOT_PID
wait_line Hostess "SYS: Stayer joined the game." || fail "Stayer did not join"
kill -TERM "$host"
wait_bot_line stayer "SYS: The host has disconnected..." 120 || fail "Stayer did not notice the host go"
wait_bot_line stayer "Stayer stops: the host has gone." 10 || fail "Stayer did not stop"
wait_exit "$stayer" 50 || fail "the program did not end once its players had stopped"
[ "$EXIT_CODE" = 0 ] || fail "the program ended with $EXIT_CODE when the host had gone"
grep -qxF "Every computer player has stopped." "$BOT_DIR/stayer.out" || fail "the program did not say why it ended"
no_sanitizer_reports stayer
wait_exit "$host" 100 || fail "the host did not end on SIGTERM"

echo "-- a dedicated server with three computer players"
start_server() {
  local name=$1
  shift
  (cd "$BOT_DIR" && exec env -u DISPLAY "$SERVER" "$@" >"$name.out" 2>"$name.err") & SERVER_PID=$!
  PIDS+=("$SERVER_PID")
}
start_server server --bots 3 --seed 0 --name "Test server" --report-every 5; server=$SERVER_PID
wait_server_line() {  # a line of the server's log, after its date and time
  for _ in $(seq "${2:-100}"); do grep -qE "^[0-9-]{10} [0-9:]{8} $1" "$BOT_DIR/server.out" && return 0; sleep 0.1; done
  echo "--- the server printed:"; cat "$BOT_DIR/server.out" "$BOT_DIR/server.err"; return 1
}
for name in Alfa Bravo Charlie; do
  wait_server_line "join: Bot $name \(seat [1-7]\)" || fail "the server's Bot $name did not join"
done
start_bot guests --count 3 --name Guest 127.0.0.1; guests=$BOT_PID
wait_server_line "join: Guest 3 " || fail "three guests did not join the server"
# The real game lists the server's game (its seven computer players in seven
# places: the server's own seat is left out) and joins it.
start_player Player 0 1 127.0.0.1; player=$PID
shot server-listed
hold_key Return 0.3
sleep 1
click
wait_server_line "join: Player \(seat [1-7]\), 7 of 7 seats taken" || fail "the game program did not join the server"
# Other tanks in the player's view: saturated blue in the band around the
# horizon, above where the player's own tank (blue too) is drawn.
far_tank_pixels() {
  convert "$ARTEFACTS/$1.png" -crop 1024x170+0+290 \
    -fx '(b > 0.55 && r < 0.2 && g < 0.2) ? 1 : 0' -format '%[fx:int(mean*w*h)]' info: 2>/dev/null
}
seen=0
for try in $(seq 40); do
  shot "player-view-$try"
  seen=$(far_tank_pixels "player-view-$try")
  [ "${seen:-0}" -gt 40 ] && { cp "$ARTEFACTS/player-view-$try.png" "$ARTEFACTS/player-sees-tanks.png"; break; }
  xdotool mousedown 1; sleep 0.1; xdotool mouseup 1  # enters again if destroyed
  sleep 1
done
[ "${seen:-0}" -gt 40 ] || fail "the player's screen never showed another player's tank"
wait_server_line "kill: " 600 || fail "no kill in the server's log within 60 seconds"
grep -m 1 -E "kill: " "$BOT_DIR/server.out"
wait_server_line "status: 7 players \(3 computer\), 8[0-9]\.[0-9] frames a second, sent [0-9.]+ kB/s" 80 ||
  fail "no status line at 85 frames a second"
# The game is full: a person joining it is taken, and a computer player leaves.
start_bot late --name Latecomer 127.0.0.1; late=$BOT_PID
wait_bot_line late "Latecomer is in Test server." || fail "a person was refused for a computer player's sake"
wait_server_line "bot: Bot [A-Za-z]+ gave its seat up" 30 || fail "no computer player gave its seat up"
# The server's STATE line is a line of its log, with the date and time.
state=$(kill -USR1 "$server"; sleep 1; grep -E '^[0-9-]{10} [0-9:]{8} STATE ' "$BOT_DIR/server.out" | tail -n 1)
echo "$state"
players=$(echo "$state" | sed 's/.* players=\(.*\) projectiles=.*/\1/')
[ "$(echo "$players" | grep -o '[0-9]*:[^:,]*:-\?[0-9]*,' | wc -l)" = 8 ] || fail "the game does not hold 8: $state"
[[ "$state" == *"1:Server:"* && "$state" == *":Player:"* && "$state" == *":Latecomer:"* ]] ||
  fail "the server's STATE lacks a player"
# Bad arguments and a taken port, with their reasons and statuses.
"$SERVER" --bots 8 >/dev/null 2>"$BOT_DIR/sargs.err"
[ $? = 2 ] || fail "a bad argument did not end the server with 2"
grep -q "bots takes a number from 0 to 7" "$BOT_DIR/sargs.err" || fail "no reason for a bad argument"
(cd "$BOT_DIR" && env -u DISPLAY "$SERVER" >/dev/null 2>taken.err)
[ $? = 1 ] || fail "a taken game port did not end the server with 1"
grep -q "UDP port 24640 cannot be opened" "$BOT_DIR/taken.err" || { cat "$BOT_DIR/taken.err"; fail "no reason for a taken port"; }
"$SERVER" --help | grep -q "^Usage: morvane-server" || fail "no usage from --help"
# SIGTERM: the server ends with 0, and every player learns it at once.
kill -TERM "$server"
wait_exit "$server" 50 || fail "the server did not end on SIGTERM"
[ "$EXIT_CODE" = 0 ] || fail "the server ended with $EXIT_CODE on SIGTERM"
wait_line Player "SYS: The host has disconnected..." 30 || fail "the player did not see the host go at once"
wait_bot_line late "Latecomer stops: the host has gone." 30 || fail "Latecomer did not see the host go"
wait_server_line "stop: SIGTERM: " 1 || fail "no last line in the server's log"
# How the game ended stays in the log: the players' scores, by seat.
wait_server_line "score: Player \(seat [1-7]\), [0-9]+ kills, [0-9]+ deaths" 1 || fail "no final scores in the log"
! grep -E 'AddressSanitizer|LeakSanitizer|runtime error:' "$BOT_DIR/server.err" || fail "sanitizer reports from the server"
kill -TERM "$guests" "$player" 2>/dev/null
wait_exit "$guests" 50

if [ -n "${MORVANE_NETNS:-}" ]; then
  echo "-- a game on the local network"
  start_player Lanny 1 0 ""
  start_bot scout --name Scout
  wait_line Lanny "SYS: Scout joined the game." || fail "no game found on the local network"
fi
echo PASS
