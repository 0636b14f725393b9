#!/usr/bin/env bash
# Makes the README's screenshots from the real programs in build/game/ on a
# virtual screen of their own: the configurator, the title screen, a battle
# and the pause menu. Run it again whenever the picture changes:
#   scripts/screenshots.sh [OUTPUT_DIR]   (docs/screenshots by default)
set -uo pipefail
cd "$(dirname "$0")/.."
out=$(readlink -f "${1:-docs/screenshots}")
game=$(readlink -f build/game)
[ -x "$game/Morvane" ] && [ -x "$game/Morvane-Configuration" ] || {
  echo "screenshots: build the programs first (make build)" >&2
  exit 1
}
if [ -z "${MORVANE_SCREENSHOT_DISPLAY:-}" ]; then
  exec env MORVANE_SCREENSHOT_DISPLAY=1 \
    xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp -noreset" "$0" "$out"
fi
source tests/e2e/lib.sh
GAME_DIR=$game
source tests/e2e/net_lib.sh  # ends the programs and removes the directories it is told of
# The two players of the battle meet on the loopback of a network of their
# own when the script may make one (as root).
run_in_own_namespace "$0" "$@"
export SDL_AUDIODRIVER=dummy
mkdir -p "$out"
make_game_copy "$game"
DIRS+=("$GAME_COPY")
cd "$GAME_COPY" || exit 1

# A picture of the game at the README's size.
keep() {
  import -window root "$GAME_COPY/shot.png" && convert "$GAME_COPY/shot.png" -resize 640x480 "$out/$1.png"
}

config() {
  printf 'MRVN_CONFIG\r\n\r\r\nSET_RESOLUTION 4 \r\nSET_PARTICLES 1 \r\nSET_PLAYERNAME "Jammy Dodger"\r\nSET_SERVER %s\r\nSET_NETWORKING %s \r\n' "$1" "$2" > config.dat
}

echo "-- the configurator"
./Morvane-Configuration & pid=$!
PIDS+=("$pid")
dialog=$(wait_for_window "Morvane Configuration") || fail "no configurator"
sleep 1
import -window "$dialog" "$out/configurator.png" || fail "cannot take the configurator's picture"
kill "$pid"; wait "$pid" 2>/dev/null

echo "-- the title screen, looking for games on the network"
config 0 0
./Morvane 2>/dev/null & pid=$!
PIDS+=("$pid")
wait_for_window "Morvane - " >/dev/null || fail "no game window"
sleep 3
keep title
hold_key Escape
wait_exit "$pid" || fail "the title screen did not end on Escape"

echo "-- a battle: a host and a player who joined it over TCP/IP"
start_player Spanner 1 1 ""
host_win=$WIN
click
start_player Monkey 0 1 127.0.0.1
hold_key Return 0.3
sleep 1
click
hold_key Up 1.5
activate "$host_win" 1
hold_key Up 0.6
for _ in 1 2; do click; sleep 0.3; done
keep battle

echo "-- the pause menu"
hold_key Escape 0.15
sleep 1
keep pause-menu
ls -l "$out"
