#!/usr/bin/env bash
# Three players on one X server, each program in its own game directory,
# joined over TCP/IP at 127.0.0.1 through the session menu: they see each
# other's tanks, a shot and a chat line reach everyone; a client killed
# outright is announced as gone on the host, and when the host is killed the
# remaining client plays on alone. Screenshots of every step are kept in the
# artefact folder. (A game found by broadcast on the local network is
# lan_play_test.sh.)
#
# As root the whole test runs in a network namespace of its own that has
# only a loopback, so the game's broadcasts and fixed ports meet nothing
# else on the machine; elsewhere it runs on this machine's loopback.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
GAME_DIR=$1
ARTEFACTS=${2:-$(mktemp -d /tmp/morvane-net.XXXXXX)}
mkdir -p "$ARTEFACTS"
source "$(dirname "$0")/net_lib.sh"
run_in_own_namespace "$0" "$@"

[ -n "${MORVANE_NETNS:-}" ] || echo "not root or no namespaces: running on this machine's loopback"
echo "screenshots in $ARTEFACTS"


# The host enters its game at once; a client lists the games and joins with Enter.
start_player Hostess 1 1 "" ; host=$PID; host_win=$WIN
click
shot 01-host-in-game
join_and_drive() {
  start_player "$1" 0 1 127.0.0.1
  shot "02-$1-session-list"
  hold_key Return 0.3
  sleep 1
  click
  [ "$3" = 0 ] || hold_key Left "$3"
  hold_key Up "$2"
  sleep 0.5
}
join_and_drive Ann 0.4 0; ann=$PID; ann_win=$WIN
join_and_drive Bob 1.5 0.1; bob=$PID; bob_win=$WIN

activate "$host_win" 1.5
shot 03-host-sees-both
wait_line Hostess "SYS: Ann joined the game." || fail "the host did not see Ann join"
wait_line Hostess "SYS: Bob joined the game." || fail "the host did not see Bob join"
# Ann handles Bob's join when her window is active again; the notice must
# stay on her screen long enough to be read (200 frames at 85 a second),
# and be gone a while later.
activate "$ann_win" 0
wait_line Ann "SYS: Bob joined the game." || fail "Ann did not see Bob join"
sleep 2
shot 04-ann-sees-bob
sleep 6
shot 04b-ann-notice-gone
notice_pixels() {  # white text pixels where the newest message line is drawn
  convert "$ARTEFACTS/$1.png" -crop 420x32+0+74 -fuzz 6% -fill black +opaque white \
    -fill white -opaque white -format '%[fx:int(mean*w*h)]' info: 2>/dev/null
}
readable=$(notice_pixels 04-ann-sees-bob); gone=$(notice_pixels 04b-ann-notice-gone)
echo "the join notice: $readable text pixels after 2 s, $gone after 8 s"
[ "${readable:-0}" -gt 200 ] || fail "Bob's join notice was not on Ann's screen 2 s later"
[ "${gone:-0}" -lt $((readable / 4)) ] || fail "Bob's join notice never left Ann's screen"

# Ann says something (the chat line types capitals); the host relays it;
# Bob and Ann herself read it.
hold_key t 0.2; sleep 0.3
type_slowly "go team"
sleep 0.3; hold_key Return 0.2; sleep 0.5
activate "$host_win"
activate "$bob_win"
# Keys held 150 ms each, as a person types, give each letter once: a held
# key repeats only after 20 frames.
chat="Ann: GO TEAM"
wait_line Hostess "$chat" || fail "the host did not get Ann's chat line as typed"
wait_line Bob "$chat" || fail "Bob did not get Ann's chat line"
activate "$ann_win"
wait_line Ann "$chat" || fail "Ann did not get her own chat line back"

# Bob shoots, away from the others: the host numbers the shell and every
# program flies it and plays its report as it hears of it. Only the focused
# window's game runs, and a host drops a shot request that waited for it
# more than a few frames, so the host gets the focus back as soon as Bob's
# game has seen the button (the same press, 50 ms: four of its frames).
# A press that Bob's game missed while its window was taking the focus (the
# picture shows no shell) is pressed again, twice at most.
for attempt in 1 2 3; do
  activate "$host_win"; activate "$ann_win"; sleep 1
  host_sound=$(sound_at Hostess); ann_sound=$(sound_at Ann)
  activate "$bob_win" 0.5
  xdotool mousedown 1 sleep 0.05 mouseup 1 windowraise "$host_win" windowfocus "$host_win"
  sleep 0.3
  activate "$bob_win" 0.3; shot 05-bob-fired
  activate "$host_win" 0.3; shot 06-host-after-shot
  activate "$ann_win" 0.3; shot 07-ann-after-shot
  sleep 1
  [ "$(loud_since Hostess "$host_sound")" -gt 1000 ] && break
  echo "attempt $attempt: the host heard no shot"
done
[ "$(loud_since Hostess "$host_sound")" -gt 1000 ] || fail "the host did not hear Bob's shot"
[ "$(loud_since Ann "$ann_sound")" -gt 1000 ] || fail "Ann did not hear Bob's shot"

# Ann vanishes without a word: the host announces it within 10 seconds.
kill -9 "$ann"
activate "$host_win" 0
wait_line Hostess "SYS: Ann left the game." 110 || fail "the host did not notice Ann had gone"
shot 08-host-after-ann-left

# The host vanishes: Bob plays on alone, with the two notices.
activate "$bob_win" 0
kill -9 "$host"
wait_line Bob "SYS: The host has disconnected..." 110 || fail "Bob did not notice the host had gone"
wait_line Bob "SYS: All remote players lost!" 10 || fail "no 'All remote players lost!' on Bob"
hold_key Up 0.5
shot 09-bob-alone
kill -0 "$bob" 2>/dev/null || fail "Bob's game ended with the host"
out_of Bob | grep -q "send failed\|relay failed" && fail "Bob kept sending to a host that had gone"
hold_key Escape 0.15; sleep 0.5
quit_from_pause_menu
wait_exit "$bob" || fail "Bob's game did not quit"
[ "$EXIT_CODE" = 0 ] || fail "Bob's game exited with $EXIT_CODE"
tail -n 1 "$(dir_of Bob)/log.txt" | grep -q '^Morvane successfully shut down...$' || fail "no footer in Bob's log.txt"
echo PASS
