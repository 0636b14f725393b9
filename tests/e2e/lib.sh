# Helpers for end-to-end tests of the real programs under the test run's X
# server. Sourced by the test scripts.

fail() { echo "FAIL: $*" >&2; exit 1; }

# A fresh copy of the game directory to run in.
make_game_copy() {
  local source_dir=$1
  GAME_COPY=$(mktemp -d /tmp/morvane-e2e.XXXXXX)
  cp -r "$source_dir"/. "$GAME_COPY"/
  rm -f "$GAME_COPY/config.dat" "$GAME_COPY/log.txt"
  ARTEFACTS=${ARTEFACTS:-$GAME_COPY}
}

# The configurator's default file, byte for byte.
write_default_config() {
  printf 'MRVN_CONFIG\r\n\r\r\nSET_RESOLUTION 3 \r\nSET_SOUND 1 \r\nSET_MUSIC 1 \r\nSET_PARTICLES 1 \r\nSET_PLAYERNAME "Player"\r\nSET_SERVER 1\r\nSET_NETWORKING 0 \r\nSET_IPADDRESS "0.0.0.0"\r\n' > "$1/config.dat"
}

# Window id whose name contains the text, from the whole tree (UTF-8 names
# included, which xdotool's name search does not match).
find_window() {
  xwininfo -root -tree 2>/dev/null | grep -F "\"$1" | head -n 1 | awk '{print $1}'
}

wait_for_window() {
  local name=$1 tries=${2:-300} id=""
  for _ in $(seq "$tries"); do
    id=$(find_window "$name")
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  # For the log of a failing run: what the X server shows and where the
  # programs are.
  echo "no window named '$name'; the screen holds:" >&2
  xwininfo -root -tree 2>&1 | grep -E '^ +0x' | head -n 20 >&2
  ps -o pid,stat,etime,args -C Morvane >&2
  return 1
}

# Waits for a child process to end and leaves its exit code in EXIT_CODE;
# fails after a timeout. (Not in a command substitution: only this shell
# can wait for its own children.)
wait_exit() {
  local pid=$1 tries=${2:-300}
  EXIT_CODE=""
  for _ in $(seq "$tries"); do
    if ! kill -0 "$pid" 2>/dev/null; then
      wait "$pid"; EXIT_CODE=$?; return 0
    fi
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null
  return 1
}

# Walks the open pause menu down to "Quit" and chooses it. Quit is the last
# row and the cursor stops there, so Down is held long enough for four moves
# of 20 frames each even when a busy machine draws few frames; Return follows
# once the key pacing has run out.
quit_from_pause_menu() {
  hold_key Down 5
  sleep 1
  hold_key Return 0.3
}

# Holds a key long enough for a frame to see it.
hold_key() {
  xdotool keydown "$1"; sleep "${2:-0.25}"; xdotool keyup "$1"
}

# Sets origin_x and origin_y to the screen position of the top left corner
# of a window's client area.
find_window_origin() {
  local corner
  corner=$(xwininfo -root -tree | grep -F "\"$1\": (" | head -n 1 | awk '{print $NF}')
  origin_x=$(cut -d+ -f2 <<<"$corner")
  origin_y=$(cut -d+ -f3 <<<"$corner")
}

# Clicks at a point of that client area, in pixels.
click_at() {
  xdotool mousemove $((origin_x + $1)) $((origin_y + $2)) click 1
  sleep 0.2
}

root_size() {
  xwininfo -root | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}'
}

window_size() {
  xwininfo -id "$1" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}'
}

shot() {
  import -window root "$ARTEFACTS/$1.png" 2>/dev/null || true
}
