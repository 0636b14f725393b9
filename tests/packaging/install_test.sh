#!/usr/bin/env bash
# The Debian package as new players meet it, without touching this system:
# built from the build tree, accepted by lintian, unpacked into a scratch
# root, its dependencies present here, its desktop files valid, and its
# commands run from fresh home directories with no checkout in sight; the
# dedicated server and the public list of games run as an operator runs
# them, and their services looked after by the maintainer scripts.
# Usage: install_test.sh BUILD_DIR [SCREENSHOT_DIR]
set -uo pipefail
source "$(dirname "$0")/../e2e/lib.sh"
# As root, in a network namespace with only a loopback of its own, so that
# the game against the computer finds its fixed ports free of other games.
if [ -z "${MORVANE_NETNS:-}" ] && [ "$(id -u)" = 0 ] && unshare -n true 2>/dev/null; then
  exec env MORVANE_NETNS=1 unshare -n bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
fi
build=$(readlink -f "$1")
ARTEFACTS=${2:-}
if [ -z "${DISPLAY:-}" ]; then
  echo "SKIP: no X display"
  exit 77
fi
for tool in cpack dpkg-deb dpkg-query desktop-file-validate xdotool xwininfo xprop; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool missing"; exit 77; }
done
[ -n "$ARTEFACTS" ] && mkdir -p "$ARTEFACTS"

work=$(mktemp -d /tmp/morvane-package.XXXXXX)
started=()
cleanup() {
  local status=$?
  [ "$status" -ne 0 ] && [ -s "$work/stderr.txt" ] && { echo "the programs printed:"; cat "$work/stderr.txt"; }
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

echo "-- the package"
SECONDS=0
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" > "$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/package/morvane_*_amd64.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { cat "$work/cpack.log"; fail "no morvane_<version>_amd64.deb"; }
echo "built ${deb##*/} ($(du -k "$deb" | cut -f1) KiB) in ${SECONDS}s"
root=$work/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb cannot unpack the package"
files="games/morvane games/morvane-configuration lib/games/morvane/Morvane
    lib/games/morvane/Morvane-Configuration share/games/morvane/mrvn.pak
    share/games/morvane/default.mvl share/games/morvane/sound.pak share/games/morvane/lists.txt
    share/games/morvane/mrvnmus00.mid share/games/morvane/mrvnmus12.mid
    share/applications/morvane.desktop share/applications/morvane-configuration.desktop
    share/icons/hicolor/256x256/apps/morvane.png share/man/man6/morvane.6.gz
    share/man/man6/morvane-configuration.6.gz share/metainfo/org.morvane.morvane.metainfo.xml
    share/doc/morvane/copyright share/doc/morvane/changelog.gz"
# The computer player is packaged whenever the build has it.
[ -x "$build/game/morvane-bot" ] &&
  files="$files games/morvane-bot lib/games/morvane/morvane-bot share/man/man6/morvane-bot.6.gz"
for file in $files; do
  [ -e "$root/usr/$file" ] || fail "the package has no /usr/$file"
done
[ "$(ls "$root"/usr/share/games/morvane | wc -l)" -eq 17 ] || fail "the data directory does not hold the 17 data files"

if command -v lintian >/dev/null; then
  echo "-- lintian finds no error and no warning"
  findings=$(lintian --fail-on error,warning --info "$deb" 2>&1)
  status=$?
  grep -v "running with root privileges" <<<"$findings"
  [ "$status" -eq 0 ] || fail "lintian rejects the package"
else
  echo "-- lintian is not installed: not checked"
fi

if [ -x "$build/game/morvane-server" ]; then
  echo "-- the dedicated server: program, command, manual page, unit and options"
  for file in games/morvane-server lib/games/morvane/morvane-server share/man/man6/morvane-server.6.gz \
      lib/systemd/system/morvane-server.service; do
    [ -e "$root/usr/$file" ] || fail "the package has no /usr/$file"
  done
  [ "$(readlink -f "$root/usr/games/morvane-server")" = "$root/usr/lib/games/morvane/morvane-server" ] ||
    fail "/usr/games/morvane-server does not lead to the program"
  [ -f "$root/etc/default/morvane-server" ] || fail "the package has no /etc/default/morvane-server"
  dpkg-deb -I "$deb" conffiles | grep -qx /etc/default/morvane-server ||
    fail "/etc/default/morvane-server is not a conffile: an upgrade would overwrite the operator's options"
  unit=$root/usr/lib/systemd/system/morvane-server.service
  grep -qx "ExecStart=/usr/lib/games/morvane/morvane-server \$MORVANE_SERVER_OPTIONS" "$unit" &&
    grep -qx "WorkingDirectory=/usr/share/games/morvane" "$unit" && grep -qx "DynamicUser=yes" "$unit" &&
    grep -qx "EnvironmentFile=-/etc/default/morvane-server" "$unit" ||
    fail "the unit does not start the installed server with the operator's options"
  if command -v systemd-analyze >/dev/null; then
    # Checked against this system's units, with its paths moved into the
    # unpacked tree so that the program and directory it names exist.
    sed "s|=/usr/|=$root/usr/|; s| /usr/| $root/usr/|" "$unit" > "$work/morvane-server.service"
    systemd-analyze verify --man=no "$work/morvane-server.service" || fail "systemd-analyze rejects the unit"
  fi
  grep -qx "RestartPreventExitStatus=1 2" "$unit" ||
    fail "the unit restarts a server that cannot start (a bad level, bad options) for ever"
  # As an operator starts it from their home directory, with the example of
  # the installed file that names the game with spaces, its quotes read as
  # systemd reads them; the installed level is found without --level.
  example=$(sed -n 's/^#\(MORVANE_SERVER_OPTIONS=.* .*\)$/\1/p' "$root/etc/default/morvane-server")
  [ -n "$example" ] || fail "/etc/default/morvane-server shows no example of a name with spaces"
  eval "$example"
  eval "set -- $MORVANE_SERVER_OPTIONS"
  mkdir -p "$work/operator"
  (cd "$work/operator" && exec env -i PATH=/usr/bin:/bin "$root/usr/games/morvane-server" "$@") \
    > "$work/server.log" 2>&1 &
  server_pid=$!
  started+=("$server_pid")
  server_line() { grep -qE "^[0-9-]{10} [0-9:]{8} $1" "$work/server.log"; }
  for _ in $(seq 100); do server_line "join: .*3 of 7 seats taken" && break; sleep 0.1; done
  server_line "start: \"Friday night\" on UDP port 24640 \((listed on UDP port 24641|not listed: .*)\), level $root/usr/share/games/morvane/default.mvl," ||
    { cat "$work/server.log"; fail "the installed server did not start with the installed level and the example's name"; }
  # The installed lists.txt is found from elsewhere, and names no live list.
  server_line "lists: $root/usr/share/games/morvane/lists.txt names no list" ||
    { cat "$work/server.log"; fail "the installed server did not read the installed lists.txt"; }
  server_line "join: Bot [A-Za-z]+ \(seat 3\), 3 of 7 seats taken" ||
    { cat "$work/server.log"; fail "the installed server's computer players did not join"; }
  # SIGUSR2 means nothing to the server; SIGHUP (the operator's session
  # closed) ends it as SIGTERM does: the players told, the scores kept.
  kill -USR2 "$server_pid"
  sleep 0.3
  kill -0 "$server_pid" 2>/dev/null || fail "SIGUSR2 ended the server"
  kill -HUP "$server_pid"
  wait_exit "$server_pid" 50 || fail "the server did not end on SIGHUP"
  cat "$work/server.log"
  [ "$EXIT_CODE" -eq 0 ] || fail "the installed server ended with status $EXIT_CODE on SIGHUP"
  server_line "score: Bot [A-Za-z]+ \(seat 1\), [0-9]+ kills, [0-9]+ deaths" || fail "no final scores on SIGHUP"
  server_line "stop: SIGHUP: the game is closed, every player told" || fail "no stop line on SIGHUP"
  # A level that is not there: the reason and the way out.
  (cd "$work/operator" && env -i PATH=/usr/bin:/bin "$root/usr/games/morvane-server" --level arena.mvl) \
    > /dev/null 2> "$work/nolevel.txt"
  [ $? -eq 1 ] || fail "a missing level did not end the server with 1"
  grep -qx "morvane-server: the level arena.mvl cannot be loaded: No such file or directory." "$work/nolevel.txt" ||
    fail "unclear message for a missing level: $(cat "$work/nolevel.txt")"

  echo "-- the maintainer scripts: the service stopped on removal, restarted after an upgrade"
  if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
    # Run with systemd's tools replaced by stand-ins that note their calls,
    # in a mount namespace whose /run says systemd is the init system.
    mkdir -p "$work/scripts" "$work/stubs"
    dpkg-deb -e "$deb" "$work/scripts"
    for tool in systemctl deb-systemd-invoke deb-systemd-helper; do
      printf '#!/bin/sh\necho "%s $*" >> "%s"\n' "$tool" "$work/calls.txt" > "$work/stubs/$tool"
      chmod 755 "$work/stubs/$tool"
    done
    maintainer() {  # maintainer SCRIPT ARGS...: the calls it made, on one line
      : > "$work/calls.txt"
      unshare -m sh -c 'mount -t tmpfs none /run && mkdir -p /run/systemd/system && exec "$@"' sh \
        env -u DPKG_ROOT PATH="$work/stubs:/usr/bin:/bin" "$work/scripts/$1" "${@:2}" || fail "$1 $* failed"
      tr '\n' ';' < "$work/calls.txt"
    }
    [ "$(maintainer prerm remove)" = "deb-systemd-invoke stop morvane-server.service morvane-list.service;" ] ||
      fail "prerm remove does not stop the service: $(maintainer prerm remove)"
    [ "$(maintainer prerm upgrade 1.0.1)" = "" ] || fail "prerm upgrade stops the service before the new one is in"
    [ "$(maintainer postinst configure "")" = "systemctl --system daemon-reload;" ] ||
      fail "a fresh installation does more than reload systemd: $(maintainer postinst configure "")"
    [ "$(maintainer postinst configure 0.9.0)" = \
      "systemctl --system daemon-reload;deb-systemd-invoke restart morvane-server.service morvane-list.service;" ] ||
      fail "an upgrade does not restart the service: $(maintainer postinst configure 0.9.0)"
    [ "$(maintainer postrm remove)" = "systemctl --system daemon-reload;" ] || fail "postrm remove"
  else
    echo "not root or no mount namespaces: their calls not checked"
  fi
fi

if [ -x "$build/game/morvane-list" ]; then
  echo "-- the public list of games: program, command, manual page, unit and options; it answers a reading"
  for file in games/morvane-list lib/games/morvane/morvane-list share/man/man6/morvane-list.6.gz \
      lib/systemd/system/morvane-list.service; do
    [ -e "$root/usr/$file" ] || fail "the package has no /usr/$file"
  done
  dpkg-deb -I "$deb" conffiles | grep -qx /etc/default/morvane-list ||
    fail "/etc/default/morvane-list is not a conffile"
  unit=$root/usr/lib/systemd/system/morvane-list.service
  grep -qx "ExecStart=/usr/lib/games/morvane/morvane-list \$MORVANE_LIST_OPTIONS" "$unit" &&
    grep -qx "EnvironmentFile=-/etc/default/morvane-list" "$unit" && grep -qx "DynamicUser=yes" "$unit" ||
    fail "the unit does not start the installed list with the operator's options"
  if command -v systemd-analyze >/dev/null; then
    sed "s|=/usr/|=$root/usr/|" "$unit" > "$work/morvane-list.service"
    systemd-analyze verify --man=no "$work/morvane-list.service" || fail "systemd-analyze rejects the list's unit"
  fi
  # With the installed options, on the loopback.
  eval "$(grep '^MORVANE_LIST_OPTIONS=' "$root/etc/default/morvane-list")"
  eval "set -- $MORVANE_LIST_OPTIONS"
  [ "$*" = "--listen 0.0.0.0 --http-port 24680 --proof-port 24681" ] ||
    fail "/etc/default/morvane-list starts the list with: $*"
  env -i PATH=/usr/bin:/bin "$root/usr/games/morvane-list" "$@" --listen 127.0.0.1 > "$work/list.log" 2>&1 &
  list_pid=$!
  started+=("$list_pid")
  for _ in $(seq 50); do grep -q " start: " "$work/list.log" && break; sleep 0.1; done
  reading=$(curl -sS --compressed -D "$work/list-headers.txt" http://127.0.0.1:24680/games) ||
    { cat "$work/list.log"; fail "the installed list does not answer a reading"; }
  [ "$reading" = '{"count":0,"announce_every":20,"games":[]}' ] || fail "the installed list read: $reading"
  grep -qi "^content-encoding: gzip" "$work/list-headers.txt" || fail "the installed list did not send gzip"
  kill -TERM "$list_pid"
  wait_exit "$list_pid" 50 || fail "the list did not end on SIGTERM"
  cat "$work/list.log"
  [ "$EXIT_CODE" -eq 0 ] || fail "the installed list ended with status $EXIT_CODE on SIGTERM"
  grep -qE "^[0-9-]{10} [0-9:]{8} stop: SIGTERM" "$work/list.log" || fail "no stop line on SIGTERM"
fi

echo "-- every command answers --version"
for command in morvane morvane-configuration morvane-bot morvane-server morvane-list; do
  [ -e "$root/usr/games/$command" ] || continue
  said=$(cd "$work/elsewhere" 2>/dev/null || cd "$work"; env -i HOME="$work/version-home" PATH=/usr/bin:/bin \
    "$root/usr/games/$command" --version 2>&1)
  [ "$said" = "$command (Morvane) $(dpkg-deb -f "$deb" Version)" ] || fail "$command --version said: $said"
done
description=$(dpkg-deb -f "$deb" Description)
grep -qF '"morvane --bots 3" plays against' <<<"$description" || fail "the package's description is garbled: $description"

echo "-- every package it depends on or recommends is installed here"
# "a (>= 1), b | c (<< 2)": each entry needs one alternative installed, in
# a version that satisfies it.
satisfied() {
  local alternative=$1 name op version installed
  read -r name op version <<<"$(tr -d '()' <<<"$alternative")"
  installed=$(dpkg-query -W -f='${Status}|${Version}' "$name" 2>/dev/null) || return 1
  [ "${installed%%|*}" = "install ok installed" ] || return 1
  [ -z "$op" ] || dpkg --compare-versions "${installed#*|}" "$op" "$version"
}
depends=$(dpkg-deb -f "$deb" Depends)
recommends=$(dpkg-deb -f "$deb" Recommends)
echo "Depends: $depends"
echo "Recommends: $recommends"
grep -q libsdl2 <<<"$depends" || fail "the library dependencies are missing"
if [ -x "$build/game/morvane-list" ]; then
  grep -q libmicrohttpd <<<"$depends" && grep -q libsodium <<<"$depends" ||
    fail "the public list's libraries are not among the dependencies"
fi
# The error boxes need the X core fonts; Debian has packages only recommend
# X font packages.
grep -q xfonts-base <<<"$depends" && fail "the package depends on an X font package"
grep -q xfonts-base <<<"$recommends" || fail "the package does not recommend the X core fonts"
IFS=',' read -ra entries <<<"$depends, $recommends"
for entry in "${entries[@]}"; do
  found=0
  IFS='|' read -ra alternatives <<<"$entry"
  for alternative in "${alternatives[@]}"; do
    satisfied "$alternative" && found=1
  done
  [ "$found" -eq 1 ] || fail "depends on '$entry', which is not installed here"
done

echo "-- desktop entries and metadata"
desktop-file-validate "$root"/usr/share/applications/*.desktop || fail "desktop-file-validate"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$root"/usr/share/metainfo/*.xml || fail "appstreamcli validate"
fi
grep -qx "Exec=morvane --bots 3" "$root/usr/share/applications/morvane.desktop" ||
  fail "the menu entry has no action to play against the computer"

# Runs an installed command in the background, as a player whose home is
# $1: a clean environment with the display, the system's PATH and nothing of
# the build. Leaves the program's process id in $player_pid.
as_player() {
  local home=$1 command=$2
  shift 2
  (cd "$work/elsewhere" && exec env -i HOME="$home" PATH=/usr/bin:/bin DISPLAY="$DISPLAY" \
     XAUTHORITY="${XAUTHORITY:-}" SDL_AUDIODRIVER=dummy ${PLAYER_ENV:-} "$root/usr/games/$command" "$@") \
    >>"$work/stderr.txt" 2>&1 &
  player_pid=$!
  started+=("$player_pid")
}
mkdir -p "$work/elsewhere"

# Starts the configurator for a player and finds its client area.
start_dialog() {
  as_player "$1" morvane-configuration
  dialog_pid=$player_pid
  wait_for_window "Morvane Configuration" >/dev/null || fail "the configurator did not appear"
  find_window_origin "Morvane Configuration"
  sleep 0.3
}
network_box="220 140"
launch_button="169 208"
done_button="277 244"

echo "-- a new player: the configurator launches the game in their own directory"
home1=$work/home1
mkdir -p "$home1"
start_dialog "$home1"
game_dir1=$home1/.local/share/morvane
[ -d "$game_dir1" ] || fail "no game directory $game_dir1"
[ "$(readlink "$game_dir1/default.mvl")" = "$root/usr/share/games/morvane/default.mvl" ] ||
  fail "default.mvl is not linked to the installed data"
shot package-configurator
click_at $network_box
xdotool key Down Down Return   # "No networking protocol": a game alone
sleep 0.2
click_at $launch_button
wait_for_window "Morvane - " >/dev/null || fail "Launch Morvane brought up no game window"
sleep 1.5
shot package-game
game_pid=$(ps --ppid "$dialog_pid" -o pid= | tr -d ' ' | head -n 1)
[ -n "$game_pid" ] || fail "the game is not the configurator's child"
started+=("$game_pid")
[ "$(readlink "/proc/$game_pid/cwd")" = "$game_dir1" ] || fail "the game runs in $(readlink "/proc/$game_pid/cwd")"
[ "$(readlink "/proc/$game_pid/exe")" = "$root/usr/lib/games/morvane/Morvane" ] ||
  fail "the game program is $(readlink "/proc/$game_pid/exe")"
grep -q "SET_NETWORKING 2 " "$game_dir1/config.dat" || fail "config.dat was not written in $game_dir1"
grep -q "^Initiating" "$game_dir1/log.txt" || fail "no log.txt in $game_dir1"
# Ending the game from its menus is the start-up test's; here it is told to
# end as a desktop session would.
kill -TERM "$game_pid"
for _ in $(seq 100); do kill -0 "$game_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$game_pid" 2>/dev/null && fail "the game did not end"
kill "$dialog_pid"; wait "$dialog_pid" 2>/dev/null

echo "-- a second player's first start opens the configurator; their own files and level stay theirs"
home2=$work/home2
game_dir2=$home2/.local/share/morvane
mkdir -p "$game_dir2"
cp "$root/usr/share/games/morvane/default.mvl" "$game_dir2/default.mvl"
ln -s /nonexistent/mrvn.pak "$game_dir2/mrvn.pak"   # left by an earlier installation
as_player "$home2" morvane
dialog_pid=$player_pid
wait_for_window "Morvane Configuration" >/dev/null || fail "morvane without config.dat did not open the configurator"
[ -n "$(find_window "Not Configurated")" ] && fail "morvane without config.dat started the game, which refused"
find_window_origin "Morvane Configuration"
sleep 0.3
shot package-first-start
[ "$(readlink "/proc/$dialog_pid/cwd")" = "$game_dir2" ] || fail "the configurator runs in $(readlink "/proc/$dialog_pid/cwd")"
[ -L "$game_dir2/default.mvl" ] && fail "the player's own default.mvl was replaced by a link"
[ -e "$game_dir2/mrvn.pak" ] || fail "a dangling link to mrvn.pak was not renewed"
click_at $done_button
wait_exit "$dialog_pid" || fail "Done did not end the configurator"
grep -q "SET_NETWORKING 0 " "$game_dir2/config.dat" || fail "no config.dat of the second player"
grep -q "SET_NETWORKING 2 " "$game_dir1/config.dat" || fail "the first player's config.dat changed"
grep -q "successfully shut down" "$game_dir2/log.txt" && fail "the second player's log.txt is the first's"

echo "-- against the computer: the game hosts in a private directory, the computer players join it"
# A stand-in for the computer player program notes how it was started and
# whether the game was open by then, and leaves on SIGTERM as the real one
# does. What the real one does in the game is the bot's own test.
cat > "$root/usr/lib/games/morvane/morvane-bot" <<'EOF_BOT'
#!/bin/sh
echo "args: $*"
echo "cwd: $(pwd)"
[ -r default.mvl ] && echo "level: yes"
grep -q ':6040 ' /proc/net/udp && echo "game open: yes"
trap 'echo "left"; exit 0' TERM
while :; do sleep 0.1; done
EOF_BOT
chmod 755 "$root/usr/lib/games/morvane/morvane-bot"
home3=$work/home3
game_dir3=$home3/.local/share/morvane
mkdir -p "$game_dir3" "$work/runtime"
chmod 700 "$work/runtime"
# Set to join an IPX game: the game against the computer hosts over TCP/IP
# whatever the player's last choice, and keeps the rest.
printf 'MRVN_CONFIG\r\n\r\r\nSET_RESOLUTION 4 \r\nSET_SOUND 0 \r\nSET_MUSIC 0 \r\nSET_PARTICLES 0 \r\nSET_PLAYERNAME "Ada"\r\nSET_SERVER 0\r\nSET_NETWORKING 0 \r\nSET_IPADDRESS "10.1.2.3"\r\n' \
  > "$game_dir3/config.dat"
cp "$game_dir3/config.dat" "$work/config3.dat"
PLAYER_ENV="XDG_RUNTIME_DIR=$work/runtime" as_player "$home3" morvane --bots 2 --skill 1
wrapper_pid=$player_pid
wait_for_window "Morvane - " >/dev/null || fail "morvane --bots brought up no game window"
game_pid=$(ps --ppid "$wrapper_pid" -o pid=,comm= | awk '$2 == "Morvane" {print $1}')
[ -n "$game_pid" ] || fail "the game is not the command's child"
started+=("$game_pid")
run_dir=$(readlink "/proc/$game_pid/cwd")
case $run_dir in
  "$work"/runtime/morvane-bots.*) ;;
  *) fail "the game against the computer runs in $run_dir" ;;
esac
for _ in $(seq 100); do grep -q "^game open" "$game_dir3/bots.log" 2>/dev/null && break; sleep 0.1; done
shot package-bots
cat "$game_dir3/bots.log"
grep -qx "args: --count 2 --skill 1 127.0.0.1" "$game_dir3/bots.log" || fail "the computer players were started wrongly"
grep -qx "cwd: $run_dir/bots" "$game_dir3/bots.log" || fail "the computer players run outside the game's directory"
grep -qx "level: yes" "$game_dir3/bots.log" || fail "the computer players have no level"
grep -qx "game open: yes" "$game_dir3/bots.log" || fail "the computer players started before the game was open"
printf 'MRVN_CONFIG\r\n\r\r\nSET_RESOLUTION 4 \r\nSET_SOUND 0 \r\nSET_MUSIC 0 \r\nSET_PARTICLES 0 \r\nSET_PLAYERNAME "Ada"\r\nSET_SERVER 1\r\nSET_NETWORKING 1 \r\nSET_IPADDRESS ""\r\n' |
  cmp - "$run_dir/config.dat" || fail "the game against the computer has the settings: $(cat -A "$run_dir/config.dat")"
cmp "$work/config3.dat" "$game_dir3/config.dat" || fail "the player's config.dat was changed"
bot_pid=$(ps --ppid "$wrapper_pid" -o pid=,args= | awk '/morvane-bot/ {print $1}')
[ -n "$bot_pid" ] || fail "the computer players are not the command's child"
# The game ends (as from its menu); the computer players follow it.
kill -TERM "$game_pid"
wait_exit "$wrapper_pid" 150 || fail "morvane --bots did not end with the game"
[ "$EXIT_CODE" -eq 0 ] || fail "morvane --bots ended with status $EXIT_CODE"
kill -0 "$bot_pid" 2>/dev/null && fail "the computer players outlived the game"
grep -qx "left" "$game_dir3/bots.log" || fail "the computer players were not told to leave"
[ -e "$run_dir" ] && fail "the private directory $run_dir was left behind"
grep -q "successfully shut down" "$game_dir3/log.txt" || fail "the run's log.txt was not kept in $game_dir3"

# Ended from outside (a closed terminal, the end of the desktop session):
# the game and the computer players end with the command.
rm -f "$game_dir3/bots.log"
as_player "$home3" morvane --bots 1
wrapper_pid=$player_pid
for _ in $(seq 200); do grep -q "^game open" "$game_dir3/bots.log" 2>/dev/null && break; sleep 0.1; done
grep -qx "args: --count 1 --skill 1 127.0.0.1" "$game_dir3/bots.log" ||
  fail "no computer player at the easiest skill for --bots 1"
game_pid=$(ps --ppid "$wrapper_pid" -o pid=,comm= | awk '$2 == "Morvane" {print $1}')
kill -TERM "$wrapper_pid"
wait_exit "$wrapper_pid" 150 || fail "morvane --bots did not end on SIGTERM"
kill -0 "$game_pid" 2>/dev/null && fail "the game outlived its command"
grep -qx "left" "$game_dir3/bots.log" || fail "the computer players outlived their command"

echo "-- against the computer with the game's ports taken"
# Another program holds the game's port or its listing port: the command
# says so at once and starts neither the game nor the computer players.
for port in 24640 24641; do
  rm -f "$game_dir3/bots.log" "$work/holder.txt"
  python3 -c 'import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("0.0.0.0", int(sys.argv[1])))
print("held", flush=True)
time.sleep(60)' "$port" >"$work/holder.txt" 2>&1 &
  holder=$!
  started+=("$holder")
  for _ in $(seq 150); do grep -q held "$work/holder.txt" && break; sleep 0.1; done
  grep -q held "$work/holder.txt" || fail "cannot hold UDP port $port for the test: $(cat "$work/holder.txt")"
  as_player "$home3" morvane --bots 2
  wait_exit "$player_pid" 30 || fail "morvane --bots did not end at once with UDP port $port taken"
  [ "$EXIT_CODE" -eq 1 ] || fail "morvane --bots ended with $EXIT_CODE with UDP port $port taken"
  grep -q "^morvane: UDP port $port is already in use on this machine" "$work/stderr.txt" ||
    fail "morvane --bots did not say that UDP port $port is taken"
  [ -e "$game_dir3/bots.log" ] && fail "computer players were started with UDP port $port taken"
  ls -d "$work"/runtime/morvane-bots.* >/dev/null 2>&1 && fail "a game was prepared with UDP port $port taken"
  kill "$holder"; wait "$holder" 2>/dev/null
done

echo "-- the settings a game against the computer takes from the player's config.dat"
# The reading rules are the game's: keywords in a quoted value are not
# keywords, a name ends at its quote, unreadable numbers and rows outside the
# table are passed over, and a file without its first keyword is no file.
sed -n '/^write_bot_game_config() {/,/^}/p' "$root/usr/games/morvane" > "$work/derive.sh"
. "$work/derive.sh"
derived() {
  printf '%b' "$1" > "$work/case.dat"
  write_bot_game_config "$work/case.dat" | tr -d '\r' | grep -v '^$' | tr '\n' '|'
}
common='SET_SERVER 1|SET_NETWORKING 1 |SET_IPADDRESS ""|'
while IFS='=' read -r input expected; do
  actual=$(derived "$input")
  [ "$actual" = "MRVN_CONFIG|$expected$common" ] || fail "from '$input': $actual"
done <<'CASES'
=SET_RESOLUTION 3 |SET_SOUND 1 |SET_MUSIC 1 |SET_PARTICLES 1 |SET_PLAYERNAME "Player"|
MRVN_CONFIG=SET_RESOLUTION 3 |SET_SOUND 1 |SET_MUSIC 1 |SET_PARTICLES 1 |SET_PLAYERNAME ""|
mrvn_config SET_RESOLUTION 5=SET_RESOLUTION 3 |SET_SOUND 1 |SET_MUSIC 1 |SET_PARTICLES 1 |SET_PLAYERNAME "Player"|
MRVN_CONFIG SET_RESOLUTION 9 SET_SOUND 2 SET_PARTICLES -0 SET_MUSIC x=SET_RESOLUTION 3 |SET_SOUND 1 |SET_MUSIC 1 |SET_PARTICLES 0 |SET_PLAYERNAME ""|
MRVN_CONFIG SET_IPADDRESS "a SET_SOUND 0" SET_PLAYERNAME "Bo"SET_MUSIC 0 SET_SERVER 1SET_PARTICLES 0=SET_RESOLUTION 3 |SET_SOUND 1 |SET_MUSIC 0 |SET_PARTICLES 0 |SET_PLAYERNAME "Bo"|
MRVN_CONFIG\tSET_RESOLUTION 1 SET_RESOLUTION 2\vSET_PLAYERNAME "0123456789012345678901234567890123456789=SET_RESOLUTION 2 |SET_SOUND 1 |SET_MUSIC 1 |SET_PARTICLES 1 |SET_PLAYERNAME "012345678901234567890123456789012345678"|
CASES

echo "-- a game directory that cannot be made"
touch "$work/not-a-directory"
(cd "$work/elsewhere" && env -i HOME="$home1" XDG_DATA_HOME="$work/not-a-directory" PATH=/usr/bin:/bin \
   "$root/usr/games/morvane") 2>"$work/refused.txt"
status=$?
[ "$status" -eq 1 ] || fail "exit status $status when the game directory cannot be made"
grep -q "cannot make the game directory $work/not-a-directory/morvane" "$work/refused.txt" ||
  fail "unclear message: $(cat "$work/refused.txt")"
echo "all passed in ${SECONDS}s"
