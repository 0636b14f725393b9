#!/usr/bin/env bash
# The game program from outside: without config.dat it only warns; with the
# default file it fills the screen at every resolution and Escape ends it
# cleanly; without any display it refuses to run invisibly.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
ARTEFACTS=${2:-}
make_game_copy "$1"
[ -n "$2" ] && mkdir -p "$ARTEFACTS"
cd "$GAME_COPY" || exit 1
trap 'rm -rf "$GAME_COPY"' EXIT
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

echo "-- no config.dat: the warning box and nothing else"
./Morvane 2>stderr.txt & pid=$!
box=$(wait_for_window "Not Configurated") || fail "no 'Not Configurated' box"
[ -z "$(find_window "Morvane - ")" ] || fail "a game window was created without config.dat"
xdotool key --window "$box" Return
wait_exit $pid || fail "the game did not end after the box was closed"
[ "$EXIT_CODE" = 0 ] || fail "exit code $EXIT_CODE without config.dat"
[ "$(wc -l < log.txt)" = 3 ] || fail "log.txt holds more than its header: $(cat log.txt)"
grep -q '^Morvane last run .* [AP]M$' log.txt || fail "bad log header: $(head -1 log.txt)"
grep -q '^Initiating...$' log.txt || fail "no 'Initiating...' line"

echo "-- default config.dat: full screen, the host is in the game at once, quits cleanly"
write_default_config .
./Morvane 2>stderr.txt & pid=$!
win=$(wait_for_window "Morvane - ") || { cat stderr.txt; fail "no game window"; }
sleep 1.5
[ "$(window_size "$win")" = "$(root_size)" ] || fail "window $(window_size "$win") does not cover the screen $(root_size)"
grep -q "shut down" log.txt && fail "footer written while running"
xprop -id "$win" _NET_WM_ICON | grep -q "32 x 32" || fail "the game window has no icon"
shot startup-default
hold_key Escape 0.15; sleep 0.5
shot startup-default-pause
quit_from_pause_menu
wait_exit $pid || fail "the pause menu's Quit did not end the game"
[ "$EXIT_CODE" = 0 ] || { cat stderr.txt; fail "exit code $EXIT_CODE"; }
tail -n 1 log.txt | grep -q '^Morvane successfully shut down...$' || fail "no footer"

echo "-- every resolution fills the screen; Escape on the session list quits"
sed -i "s/SET_SERVER 1/SET_SERVER 0/" config.dat
for row in 0 1 2 3 4 5; do
  sed -i "s/SET_RESOLUTION [0-9]/SET_RESOLUTION $row/" config.dat
  ./Morvane 2>stderr.txt & pid=$!
  win=$(wait_for_window "Morvane - ") || { cat stderr.txt; fail "no game window at row $row"; }
  sleep 1
  [ "$(window_size "$win")" = "$(root_size)" ] || fail "window $(window_size "$win") does not cover the screen $(root_size) at row $row"
  shot "startup-row$row"
  hold_key Escape
  wait_exit $pid || fail "Escape did not end the game at row $row"
  [ "$EXIT_CODE" = 0 ] || { cat stderr.txt; fail "exit code $EXIT_CODE at row $row"; }
  tail -n 1 log.txt | grep -q '^Morvane successfully shut down...$' || fail "no footer at row $row"
done

echo "-- no display at all: start-up fails instead of running invisibly"
env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER timeout 20 ./Morvane 2>stderr.txt; EXIT_CODE=$?
[ "$EXIT_CODE" = 0 ] || fail "exit code $EXIT_CODE without a display"
grep -q "OpenGL cannot be setup!" stderr.txt || fail "no 'OpenGL cannot be setup!' without a display: $(cat stderr.txt)"
grep -q "shut down" log.txt && fail "footer written after a failed start-up"
echo PASS
