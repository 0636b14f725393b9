# Helpers for end-to-end tests of network play: several players, each in a
# game directory of its own, on the test run's X server or on screens of
# their own (start_display). Sourced after lib.sh, with GAME_DIR set to the
# built game directory.

# As root, runs the calling script again in a network namespace of its own
# that has only a loopback, so the game's broadcasts and fixed ports meet
# nothing else on the machine: run_in_own_namespace "$0" "$@".
run_in_own_namespace() {
  if [ -z "${MORVANE_NETNS:-}" ] && [ "$(id -u)" = 0 ] && unshare -n true 2>/dev/null; then
    exec env MORVANE_NETNS=1 unshare -n bash -c 'ip link set lo up && exec "$0" "$@"' "$@"
  fi
}

# veth_namespace N: the namespace ${tag}cN (added to NAMESPACES), joined
# to the host's namespace ${tag}h by a veth pair on a benchmark test
# network (198.18.N.0/24): host side .1, the namespace's side .2.
veth_namespace() {
  local n=$1 ns=${tag}c$1
  NAMESPACES+=("$ns")
  ip netns add "$ns" && ip -n "$ns" link set lo up
  ip link add "${tag}a$n" type veth peer name "${tag}b$n"
  ip link set "${tag}a$n" netns "$ns"
  ip link set "${tag}b$n" netns "${tag}h"
  ip -n "$ns" addr add "198.18.$n.2/24" dev "${tag}a$n" && ip -n "$ns" link set "${tag}a$n" up
  ip -n "${tag}h" addr add "198.18.$n.1/24" dev "${tag}b$n" && ip -n "${tag}h" link set "${tag}b$n" up
}

PIDS=()
DIRS=()
trap 'for p in "${PIDS[@]}"; do kill -9 $p 2>/dev/null; done; rm -rf "${DIRS[@]}"' EXIT

# start_player NAME SERVER NETWORKING ADDRESS [COMMAND PREFIX...]: a game
# directory of its own, its config.dat, the program started there (through
# the prefix, for example "ip netns exec NAME"); sets PID and WIN. The
# drawing size is row RESOLUTION_ROW (default 3, 640 x 480) of the table.
start_player() {
  local name=$1 server=$2 networking=$3 address=$4 dir before
  shift 4
  dir=$(mktemp -d /tmp/morvane-$name.XXXXXX)
  DIRS+=("$dir")
  cp -r "$GAME_DIR"/. "$dir"/
  rm -f "$dir/config.dat" "$dir/log.txt"
  printf 'MRVN_CONFIG\r\nSET_RESOLUTION %s \r\nSET_SOUND 1 \r\nSET_MUSIC 0 \r\nSET_PARTICLES 1 \r\nSET_PLAYERNAME "%s"\r\nSET_SERVER %s\r\nSET_NETWORKING %s \r\nSET_IPADDRESS "%s"\r\n' \
    "${RESOLUTION_ROW:-3}" "$name" "$server" "$networking" "$address" > "$dir/config.dat"
  before=$(xwininfo -root -tree | grep -c '"Morvane - ')
  (cd "$dir" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$dir/sound.raw" exec "$@" ./Morvane \
    >stdout.txt 2>stderr.txt) & PID=$!
  PIDS+=("$PID")
  eval "DIR_$name=$dir"
  for _ in $(seq 300); do
    [ "$(xwininfo -root -tree | grep -c '"Morvane - ')" -gt "$before" ] && break
    sleep 0.1
  done
  WIN=$(xdotool getwindowfocus)
  sleep 1.5
}

# start_display VAR: a virtual screen of its own (1024 x 768), its display
# name put into VAR. A game's window is active only while it has the focus,
# and one screen has one focus: a second windowed player on a screen of its
# own plays while the first one's window stays active too. Run a player's
# helpers there with DISPLAY set: DISPLAY=$VAR hold_key Up.
start_display() {
  local number_file
  number_file=$(mktemp /tmp/morvane-display.XXXXXX)
  DIRS+=("$number_file")
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$number_file" >/dev/null 2>&1 &
  PIDS+=($!)
  for _ in $(seq 100); do [ -s "$number_file" ] && break; sleep 0.1; done
  [ -s "$number_file" ] || fail "no virtual screen could be started"
  printf -v "$1" ':%s' "$(head -n 1 "$number_file")"
}

activate() { xdotool windowraise "$1" windowfocus "$1"; sleep "${2:-1}"; }
click() { xdotool mousedown 1; sleep 0.3; xdotool mouseup 1; sleep 0.5; }
dir_of() { local d="DIR_$1"; echo "${!d}"; }
out_of() { cat "$(dir_of "$1")/stdout.txt"; }
# Waits up to a number of tenths of a second for a line in a player's output.
wait_line() {
  for _ in $(seq "${3:-100}"); do out_of "$1" | grep -qxF "$2" && return 0; sleep 0.1; done
  echo "--- $1 printed:"; out_of "$1"; return 1
}
# Each program's sound goes to a file (8-bit, silence is 128): how much of
# it is written so far, and how many loud samples came after that point.
sound_at() { stat -c %s "$(dir_of "$1")/sound.raw"; }
loud_since() {
  tail -c +$(($2 + 1)) "$(dir_of "$1")/sound.raw" | od -An -v -tu1 |
    awk '{ for (i = 1; i <= NF; i++) if ($i < 112 || $i > 144) n++ } END { print n + 0 }'
}
# What a player's program believes about the game right now: its STATE line
# (players with health, projectiles alive), asked for with SIGUSR1; the
# date and time that begin morvane-server's log lines are left off.
state_lines() { out_of "$1" | grep -E '^([0-9-]{10} [0-9:]{8} )?STATE ' | sed -E 's/^[0-9-]{10} [0-9:]{8} //'; }
state_of() {
  local pid=$1 name=$2 lines
  lines=$(state_lines "$name" | wc -l)
  kill -USR1 "$pid"
  for _ in $(seq 100); do
    [ "$(state_lines "$name" | wc -l)" -gt "$lines" ] && break
    sleep 0.1
  done
  state_lines "$name" | tail -n 1
}
# state_field LINE NAME: a field of a STATE line (any but players=, the
# only one that holds names, which may hold spaces).
state_field() { sed -n "s/.* $2=\([^ ]*\).*/\1/p" <<<"$1"; }
state_players() { sed -n 's/.* players=\(.*\) projectiles=.*/\1/p' <<<"$1"; }
# What every program of a settled game must agree on: its STATE line
# without the frame counters and without the program's own fields.
shared_view() { sed -e 's/^STATE frame=[0-9]* fps=[0-9]* //' -e 's/ own=.*$//' <<<"$1"; }

# own_tanks_disagree HOST_LINE LINE...: every own tank of the programs'
# STATE lines whose health or being in play differ from the host's copy of
# it, one line each; fails when there is one.
own_tanks_disagree() {
  local host_line=$1 line id health playing _ copy found=0
  shift
  for line in "$@"; do
    while IFS=: read -r id health playing _; do
      [ -n "$id" ] || continue
      copy="$(tr ',' '\n' <<<"$(state_players "$host_line")" | awk -F: -v id="$id" '$1 == id { print $NF }'):$(
        tr ',' '\n' <<<"$(state_field "$host_line" in_play)" | awk -F: -v id="$id" '$1 == id { print $2 }')"
      [ "$copy" = "$health:$playing" ] && continue
      echo "player $id: its own tank $health:$playing (health:in play), the host's copy $copy"
      found=1
    done < <(state_field "$line" own | tr ',' '\n')
  done
  [ $found = 0 ]
}

# shots_lost HOST_LINE LINE...: for every own tank of the programs' STATE
# lines, the shots it fired and the host numbered ("id fired/numbered"),
# then the shots lost on the way: fired and never numbered, beyond the
# stale requests the host drops on purpose (stale=, which it does not count
# by shooter) and the shots it refuses from a tank it has just killed, fired
# before the shooter learned of its death (refused=; one shot in twenty at
# most, or the host refuses what it should take). Fails when a shot was
# lost, or numbered more often than fired.
shots_lost() {
  local host_line=$1 line id fired numbered missing=0 extra=0 stale refused total=0
  shift
  stale=$(state_field "$host_line" stale)
  refused=$(state_field "$host_line" refused)
  stale=$((${stale:-0} + ${refused:-0}))
  for line in "$@"; do
    while IFS=: read -r id _ _ fired _; do
      [ -n "$id" ] || continue
      numbered=$(tr ',' '\n' <<<"$(state_field "$host_line" numbered)" | awk -F: -v id="$id" '$1 == id { print $2 }')
      numbered=${numbered:-0}
      printf '%s %s/%s ' "$id" "$fired" "$numbered"
      total=$((total + fired))
      [ "$fired" -gt "$numbered" ] && missing=$((missing + fired - numbered))
      [ "$numbered" -gt "$fired" ] && extra=$((extra + numbered - fired))
    done < <(state_field "$line" own | tr ',' '\n')
  done
  SHOTS_LOST=$((missing > stale ? missing - stale : 0))
  echo "(fired/numbered); $stale stale or refused (${refused:-0} refused), $SHOTS_LOST lost, $extra numbered but never fired"
  [ "$SHOTS_LOST" = 0 ] && [ "$extra" = 0 ] && [ $((${refused:-0} * 20)) -le "$total" ]
}

# Sanitizer reports in a player's error output.
# LeakSanitizer's own failure to stop the program's threads for its check
# (seen once in a while on a loaded machine, at exit) is not a finding about
# the program: it is printed, not counted.
sanitizer_reports() {
  local noise='LeakSanitizer has encountered a fatal error|HINT: LeakSanitizer does not work under ptrace'
  grep -E "$noise" "$(dir_of "$1")/stderr.txt" >&2 && echo "($1: the leak check could not run)" >&2
  grep -E 'AddressSanitizer|LeakSanitizer|runtime error:' "$(dir_of "$1")/stderr.txt" | grep -vE "$noise"
}
# Types a chat line one held key at a time: the game reads the keyboard once
# a frame, so a press and release between two frames would be missed.
type_slowly() {
  local text=$1 i c
  for ((i = 0; i < ${#text}; i++)); do
    c=${text:i:1}
    [ "$c" = " " ] && c=space
    hold_key "$c" 0.15; sleep 0.1
  done
}
