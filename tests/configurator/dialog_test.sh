#!/usr/bin/env bash
# Drives the real configurator dialog on the test run's X display, as a
# player would: Done with the start values, the address field for joining
# over TCP/IP, and launching a stand-in game.
# Usage: dialog_test.sh PROGRAM [SCREENSHOT_DIR]
set -uo pipefail

source "$(dirname "$0")/../e2e/lib.sh"
program=$1
shots=${2:-}
if [ -z "${DISPLAY:-}" ]; then
  echo "SKIP: no X display"
  exit 77
fi
for tool in xdotool xwininfo import convert ps; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done

work=$(mktemp -d)
dialog_pid=""
failures=0
cleanup() {
  [ -n "$dialog_pid" ] && kill "$dialog_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Waits up to about thirty seconds (a busy machine) for a command to succeed.
wait_until() {
  for _ in $(seq 300); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# Window names are UTF-8, which xdotool's name search misses; the tree of
# xwininfo lists them all.
window_line() { xwininfo -root -tree | grep -F "\"$1\": (" | head -n 1; }
window_shown() { [ -n "$(window_line "$1")" ]; }
window_id() { window_line "$1" | awk '{print $1}'; }

# Starts the dialog in a fresh directory (or, given "keep", in the one
# before, with its config.dat) and finds its client area.
start_dialog() {
  if [ "${1:-}" != keep ]; then
    rm -rf "$work/run"
    mkdir -p "$work/run"
  fi
  (cd "$work/run" && exec "$program") &
  dialog_pid=$!
  if ! wait_until window_shown "Morvane Configuration"; then
    fail "the dialog did not appear"
    return 1
  fi
  find_window_origin "Morvane Configuration"
  # A program that ended before may have left the keyboard focus nowhere,
  # and there is no window manager to hand it on.
  xdotool windowfocus "$(window_id "Morvane Configuration")"
  sleep 0.3
}

# Points of the controls (their centres, or a safe spot inside).
done_button="277 244"
launch_button="169 208"
network_box="220 140"
join_option="30 164"
sound_box="14 48"
name_box="220 108"
address_box="300 172"

dialog_ended() { ! kill -0 "$dialog_pid" 2>/dev/null; }

# Mean brightness (0 to 1) of a rectangle of the dialog on screen.
brightness() {
  local shot=$1 w=$2 h=$3 x=$4 y=$5
  convert "$shot" -crop "${w}x${h}+$((origin_x + x))+$((origin_y + y))" +repage \
    -colorspace Gray -format '%[fx:mean]' info:
}

expected_default=$(printf 'MRVN_CONFIG\r\n\r\r\nSET_RESOLUTION 3 \r\nSET_SOUND 1 \r\nSET_MUSIC 1 \r\nSET_PARTICLES 1 \r\nSET_PLAYERNAME "Player"\r\nSET_SERVER 1\r\nSET_NETWORKING 0 \r\nSET_IPADDRESS "0.0.0.0"\r\nend')

echo "== Done with the start values"
if start_dialog; then
  click_at $done_button
  wait_until dialog_ended || fail "the dialog stayed open after Done"
  wait "$dialog_pid"
  status=$?
  dialog_pid=""
  [ "$status" -eq 0 ] || fail "exit status $status after Done"
  written=$(cat "$work/run/config.dat"; printf end)
  [ "$written" = "$expected_default" ] || {
    fail "config.dat differs from the default file"
    od -c "$work/run/config.dat" | head -20
  }
fi

echo "== Joining over TCP/IP offers the address field"
if start_dialog; then
  # A blank spot inside the address box, right of its text.
  import -window root "$work/before.png"
  before=$(brightness "$work/before.png" 30 12 285 165)
  click_at $network_box
  xdotool key Down Return
  sleep 0.2
  click_at $join_option
  sleep 0.3
  import -window root "$work/join.png"
  after=$(brightness "$work/join.png" 30 12 285 165)
  [ -n "$shots" ] && cp "$work/join.png" "$shots/dialog-join.png"
  echo "address area brightness: before $before, after $after"
  awk -v b="$before" 'BEGIN { exit !(b < 0.9) }' || fail "an address field showed at start"
  awk -v a="$after" 'BEGIN { exit !(a > 0.97) }' || fail "no address field after TCP/IP and Join"
  kill "$dialog_pid"
  wait "$dialog_pid" 2>/dev/null
  dialog_pid=""
fi

echo "== A held check box changes once; double quotes are not typed"
if start_dialog; then
  # Pressed, moved a little, held over several refresh ticks, released.
  xdotool mousemove $((origin_x + ${sound_box% *})) $((origin_y + ${sound_box#* })) mousedown 1
  sleep 0.05
  xdotool mousemove_relative 2 1
  sleep 0.2
  xdotool mouseup 1
  sleep 0.2
  click_at $network_box
  xdotool key Down Return
  sleep 0.2
  click_at $join_option
  sleep 0.3
  click_at $name_box
  xdotool key ctrl+a
  xdotool type --delay 30 '"Ann" SET_SOUND 1 "'
  click_at $address_box
  xdotool key ctrl+a
  xdotool type --delay 30 '10.0.0.7"'
  click_at $done_button
  wait_until dialog_ended || fail "the dialog stayed open after Done"
  wait "$dialog_pid"
  dialog_pid=""
  written=$(tr -d '\r' < "$work/run/config.dat")
  grep -qx 'SET_SOUND 0 ' <<<"$written" || fail "the sound box did not change exactly once"
  grep -qx 'SET_MUSIC 1 ' <<<"$written" || fail "the music box changed"
  grep -qx 'SET_PLAYERNAME "Ann SET_SOUND 1 "' <<<"$written" || fail "a quote reached the name"
  grep -qx 'SET_IPADDRESS "10.0.0.7"' <<<"$written" || fail "a quote reached the address"
  [ "$(grep -o '"' <<<"$written" | wc -l)" -eq 4 ] || fail "stray quotes in config.dat"
  grep . <<<"$written" | sed 's/^/  /'
fi

echo "== Reopened, the dialog shows what was saved, and Done keeps it"
if [ -f "$work/run/config.dat" ] && start_dialog keep; then
  before_bytes=$(cat "$work/run/config.dat"; printf end)
  sleep 0.3
  import -window root "$work/reopened.png"
  [ -n "$shots" ] && cp "$work/reopened.png" "$shots/dialog-reopened.png"
  shown=$(brightness "$work/reopened.png" 30 12 285 165)
  awk -v a="$shown" 'BEGIN { exit !(a > 0.97) }' || fail "the saved join over TCP/IP did not offer the address"
  click_at $done_button
  wait_until dialog_ended || fail "the dialog stayed open after Done"
  wait "$dialog_pid"
  dialog_pid=""
  [ "$(cat "$work/run/config.dat"; printf end)" = "$before_bytes" ] ||
    fail "Done did not keep the saved settings"
fi

echo "== Launch starts the game beside the dialog"
if start_dialog; then
  cat > "$work/run/Morvane" <<'GAME'
#!/bin/sh
echo "$$ $(ps -o sid= -p $$ | tr -d ' ') $(pwd)" >> started.txt
sleep 2
GAME
  chmod +x "$work/run/Morvane"
  launches() { [ -f "$work/run/started.txt" ] && wc -l < "$work/run/started.txt" || echo 0; }
  click_at $launch_button
  wait_until eval '[ "$(launches)" -eq 1 ]' || fail "the game was not started"
  window_shown "Morvane Configuration" || fail "the dialog closed on launch"
  cmp -s <(cat "$work/run/config.dat"; printf end) <(printf '%s' "$expected_default") ||
    fail "launch did not write the default config.dat"
  read -r game_pid game_session game_dir < "$work/run/started.txt"
  kill -0 "$game_pid" 2>/dev/null || fail "the game had already ended: the dialog waited for it"
  [ "$game_session" = "$game_pid" ] || fail "the game does not lead a session of its own"
  [ "$game_dir" = "$work/run" ] || fail "the game ran in $game_dir"
  click_at $launch_button
  wait_until eval '[ "$(launches)" -eq 2 ]' || fail "a second launch did not start the game"
  # Both stand-ins end after two seconds; the dialog reaps them.
  sleep 2.5
  zombies=$(ps --ppid "$dialog_pid" -o stat= | grep -c Z)
  [ "$zombies" -eq 0 ] || fail "$zombies finished game(s) left as zombies"
  dialog_ended && fail "the dialog ended after launching"
  kill "$dialog_pid"
  wait "$dialog_pid" 2>/dev/null
  dialog_pid=""
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "all passed"
