#!/usr/bin/env bash
# Sound and music in the real game program: a missing sound archive stops
# the start-up; without a sound device the game starts silent; with SDL's
# disk driver the first seconds of a game hold music and the HUD's track
# time counts up.
set -uo pipefail
source "$(dirname "$0")/../e2e/lib.sh"
make_game_copy "$1"
cd "$GAME_COPY" || exit 1
pid=""
trap '[ -n "$pid" ] && kill $pid 2>/dev/null; rm -rf "$GAME_COPY"' EXIT

# Waits up to thirty seconds for the game to end; its exit code goes to `code`.
# (Run in this shell: only the shell that started the game can wait for it.)
await_game() {
  code=""
  for _ in $(seq 300); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"; code=$?; pid=""; return 0
    fi
    sleep 0.1
  done
  return 1
}

write_config() {
  printf 'MRVN_CONFIG\r\n\r\r\nSET_RESOLUTION 3 \r\nSET_SOUND %s \r\nSET_MUSIC %s \r\nSET_PARTICLES 1 \r\nSET_PLAYERNAME "Gunner"\r\nSET_SERVER 1\r\nSET_NETWORKING 2 \r\n' "$1" "$2" > config.dat
}

# Closes every window of the game (the error box among them) until it ends.
close_boxes_until_exit() {
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    for id in $(xwininfo -root -tree 2>/dev/null | grep -F '"Morvane - ' | awk '{print $1}'); do
      xdotool key --window "$id" Return 2>/dev/null
    done
    sleep 0.2
  done
  await_game
}

# From the pause menu's first row: Quit is four rows down. Menu keys wait
# out a key delay of 40 frames after Escape and 20 after each key, which on
# a software renderer can take a second.
quit_through_pause_menu() {
  hold_key Escape 0.15; sleep 1.5
  quit_from_pause_menu
}

echo "-- sound on, sound.pak missing: start-up stops"
write_config 1 1
mv sound.pak sound.pak.away
SDL_AUDIODRIVER=dummy ./Morvane 2>stderr.txt & pid=$!
for _ in $(seq 300); do grep -q "Sounds cannot be loaded!" stderr.txt && break; sleep 0.1; done
grep -q "Sounds cannot be loaded!" stderr.txt || fail "no 'Sounds cannot be loaded!': $(cat stderr.txt)"
close_boxes_until_exit || fail "the game did not end after its error box"
grep -q "shut down" log.txt && fail "footer written after a failed start-up"

echo "-- no sound device: the game starts silent (and needs no sound files)"
mkdir -p away && mv mrvnmus*.mid away/
SDL_AUDIODRIVER=no-such-driver ./Morvane 2>stderr.txt & pid=$!
wait_for_window "Morvane - " >/dev/null || { cat stderr.txt; fail "no game window without a sound device"; }
sleep 1.5
grep -q "cannot be loaded" stderr.txt && fail "start-up failed without a sound device: $(cat stderr.txt)"
quit_through_pause_menu
await_game || fail "the silent game did not quit"
[ "$code" = 0 ] || fail "exit code $code without a sound device"
tail -n 1 log.txt | grep -q '^Morvane successfully shut down...$' || fail "no footer after a silent game"
mv sound.pak.away sound.pak && mv away/*.mid .

echo "-- disk audio: music from the first seconds, the track time counts up"
write_config 1 1
export SDL_DISKAUDIOFILE="$GAME_COPY/capture.raw"
SDL_AUDIODRIVER=disk ./Morvane 2>stderr.txt & pid=$!
wait_for_window "Morvane - " >/dev/null || { cat stderr.txt; fail "no game window with disk audio"; }
sleep 2
# The MUSIC line sits in the bottom right corner of the 640x480 picture.
size=$(root_size); w=${size%x*}; h=${size#*x}
crop="$((w * 45 / 100))x$((h * 6 / 100))+$((w - w * 45 / 100))+$((h - h * 6 / 100))"
import -window root -crop "$crop" hud1.png 2>/dev/null
sleep 2.2
import -window root -crop "$crop" hud2.png 2>/dev/null
quit_through_pause_menu
await_game || fail "the game with music did not quit"
[ "$code" = 0 ] || { cat stderr.txt; fail "exit code $code with disk audio"; }
[ -s capture.raw ] || fail "nothing was captured"
# 8-bit unsigned samples; silence is exactly 128. Count those away from it.
sounding=$(od -An -v -tu1 -w1 capture.raw | awk '$1 < 126 || $1 > 130 {n++} END {print n + 0}')
total=$(stat -c %s capture.raw)
echo "captured $total samples, $sounding of them sounding"
[ "$total" -gt 44100 ] || fail "less than two seconds of audio captured"
[ "$sounding" -gt $((total / 10)) ] || fail "the captured audio is silent"
diff_pixels=$(compare -metric AE hud1.png hud2.png null: 2>&1 | cut -d' ' -f1)
[ "${diff_pixels%.*}" -gt 0 ] || fail "the MUSIC line did not change in two seconds"
echo PASS
