#!/usr/bin/env bash
# A game on the local network, found by broadcast: a host and a client, both
# set to "IPX Connection over LAN", each in its own game directory on one X
# server; the client lists the game and joins it with Enter.
#
# The game's broadcasts and fixed ports must meet nothing else on the
# machine, so the test runs in a network namespace of its own that has only
# a loopback. That needs root: elsewhere it reports itself skipped (77).
set -uo pipefail
source "$(dirname "$0")/lib.sh"
GAME_DIR=$1
ARTEFACTS=${2:-$(mktemp -d /tmp/morvane-lan.XXXXXX)}
mkdir -p "$ARTEFACTS"
source "$(dirname "$0")/net_lib.sh"
run_in_own_namespace "$0" "$@"
if [ -z "${MORVANE_NETNS:-}" ]; then
  echo "SKIPPED: a network namespace of its own needs root"; exit 77
fi
echo "screenshots in $ARTEFACTS"

start_player Lanny 1 0 ""; lan_host=$PID; lan_win=$WIN
start_player Seeker 0 0 ""; seeker=$PID
shot 01-lan-session-list
hold_key Return 0.3; sleep 1
activate "$lan_win"
wait_line Lanny "SYS: Seeker joined the game." || fail "no game found on the local network"
shot 02-host-sees-seeker
state_of "$seeker" Seeker | grep -q "players=1:Lanny:[-0-9]*,2:Seeker:" || fail "the client's table is not the two players"
echo PASS
