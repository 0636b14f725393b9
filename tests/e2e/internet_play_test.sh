#!/usr/bin/env bash
# A stranger's game found on a public list and played over the internet,
# every part real and in network namespaces of its own:
#
#   the internet (45.33.0.1): two morvane-list services
#   a home router (45.33.0.7 outside, 192.168.1.1 inside): address
#     translation in nftables, Debian's miniupnpd answering NAT-PMP and UPnP
#   the home (192.168.1.2): "Far Fort", a morvane-server that asks the
#     router to open its port, and "Hidden Hall", one that does not
#   a player (45.33.1.2): the game program, joining over TCP/IP with no
#     address, reading both lists
#
# Far Fort's port is opened through the router, it is proved reachable and
# listed on both lists; the player's session menu shows it with a round
# trip (read back from the screen), still does after one list stops, and
# the player selects it and plays. Hidden Hall is never listed, and its log
# says why. When Far Fort stops, the router's mapping goes with it and the
# list drops the game at once.
#
# Needs root for the namespaces; elsewhere it reports itself skipped (77).
set -uo pipefail
source "$(dirname "$0")/lib.sh"
GAME_DIR=$(readlink -f "$1")
ARTEFACTS=${2:-$(mktemp -d /tmp/morvane-internet.XXXXXX)}
mkdir -p "$ARTEFACTS"
source "$(dirname "$0")/net_lib.sh"

tag=mi$$
if [ "$(id -u)" != 0 ] || ! ip netns add "${tag}n" 2>/dev/null; then
  echo "SKIPPED: network namespaces need root"; exit 77
fi
NAMESPACES=("${tag}n")
trap 'for p in "${PIDS[@]}"; do kill -9 $p 2>/dev/null; done; rm -rf "${DIRS[@]}";
      for n in "${NAMESPACES[@]}"; do ip netns del $n 2>/dev/null; done' EXIT
echo "artefacts in $ARTEFACTS"
WORK=$(mktemp -d /tmp/morvane-internet-work.XXXXXX)
DIRS+=("$WORK")

# The namespaces (n: the internet, r: the router, s: the home, p: the
# player) and the links between them: link A ADDRESS_A B ADDRESS_B.
for n in r s p; do ip netns add "${tag}$n"; NAMESPACES+=("${tag}$n"); done
for n in n r s p; do ip -n "${tag}$n" link set lo up; done
link() {
  ip link add "$tag$1$3" netns "$tag$1" type veth peer name "$tag$3$1" netns "$tag$3"
  ip -n "$tag$1" addr add "$2/24" dev "$tag$1$3" && ip -n "$tag$1" link set "$tag$1$3" up
  ip -n "$tag$3" addr add "$4/24" dev "$tag$3$1" && ip -n "$tag$3" link set "$tag$3$1" up
}
link n 45.33.0.1 r 45.33.0.7
link n 45.33.1.1 p 45.33.1.2
link r 192.168.1.1 s 192.168.1.2
ip -n "${tag}r" route add default via 45.33.0.1
ip -n "${tag}p" route add default via 45.33.1.1
ip -n "${tag}s" route add default via 192.168.1.1
for n in n r; do ip netns exec "$tag$n" sysctl -qw net.ipv4.ip_forward=1; done

# The router: the home's connections go out under its address, nothing
# comes in unasked but what miniupnpd forwards (it fills the chains named
# after it, in the table it is given).
ip netns exec "${tag}r" nft -f - <<EOF || fail "the router's address translation could not be set up"
table inet filter {
  chain forward {
    type filter hook forward priority 0; policy drop;
    ct state established,related accept
    iifname "${tag}rs" accept
    jump miniupnpd
  }
  chain miniupnpd { }
  chain prerouting {
    type nat hook prerouting priority -100; policy accept;
    jump prerouting_miniupnpd
  }
  chain postrouting {
    type nat hook postrouting priority 100; policy accept;
    jump postrouting_miniupnpd
    oifname "${tag}rn" masquerade
  }
  chain prerouting_miniupnpd { }
  chain postrouting_miniupnpd { }
}
EOF
cat > "$WORK/miniupnpd.conf" <<EOF
ext_ifname=${tag}rn
listening_ip=${tag}rs
http_port=0
enable_natpmp=yes
enable_upnp=yes
secure_mode=yes
system_uptime=yes
uuid=6f1c9b2e-3d4a-4e8b-9c0d-2a7f5e6b1c3d
upnp_table_name=filter
upnp_nat_table_name=filter
lease_file=$WORK/miniupnpd.leases
allow 1024-65535 192.168.1.0/24 1024-65535
deny 0-65535 0.0.0.0/0 0-65535
EOF
ip netns exec "${tag}r" /usr/sbin/miniupnpd -d -f "$WORK/miniupnpd.conf" -P "$WORK/miniupnpd.pid" \
  >"$ARTEFACTS/miniupnpd.txt" 2>&1 & PIDS+=($!)
# (Pipes into grep -q would fail under pipefail when grep stops reading early.)
router_forwards() { [[ $(ip netns exec "${tag}r" nft list table inet filter) == *"dport $1 dnat"* ]]; }

# The two lists, on the internet's address.
LIST=$GAME_DIR/morvane-list
for port in 24680 24690; do
  ip netns exec "${tag}n" "$LIST" --http-port $port --proof-port $((port + 1)) \
    >"$ARTEFACTS/list$port.txt" 2>&1 & PIDS+=($!)
  eval "list$port=\$!"
done
printf '# the test'"'"'s lists\n45.33.0.1:24680\n45.33.0.1:24690\n' > "$WORK/lists.txt"
# listed PORT: the games the list on that HTTP port lists, "address:port name" a line.
listed() {
  ip netns exec "${tag}n" curl -s --max-time 2 "http://45.33.0.1:$1/games" | python3 -c '
import json, sys
for g in json.load(sys.stdin)["games"]: print("%s:%d %s" % (g["address"], g["port"], g["name"]))' 2>/dev/null
}
NEVER_LISTED="45.33.0.7:24650 Hidden Hall"
lists_game() { grep -xF "$2" >/dev/null <<<"$(listed "$1")"; }
hidden_listed() { lists_game 24680 "$NEVER_LISTED" || lists_game 24690 "$NEVER_LISTED"; }

# The two servers of the home, each in a directory of its own.
start_server() {
  local name=$1 dir
  shift
  dir=$(mktemp -d /tmp/morvane-$name.XXXXXX)
  DIRS+=("$dir")
  cp "$GAME_DIR/default.mvl" "$WORK/lists.txt" "$dir"/
  (cd "$dir" && exec env -u DISPLAY ip netns exec "${tag}s" "$GAME_DIR/morvane-server" "$@" --lists lists.txt \
    >stdout.txt 2>stderr.txt) & PID=$!
  PIDS+=("$PID")
  eval "DIR_$name=$dir"
}
start_server FarFort --name "Far Fort" --bots 3 --open-port; far_fort=$PID
start_server HiddenHall --name "Hidden Hall" --port 24650; hidden_hall=$PID
for _ in $(seq 100); do out_of FarFort | grep -q "router: " && break; sleep 0.1; done
out_of FarFort | grep "router: "
out_of FarFort | grep -q "router: UDP port 24640 is open on the router at 45.33.0.7 (NAT-PMP)" ||
  fail "Far Fort's port was not opened on the router"
for _ in $(seq 50); do router_forwards 24640 && break; sleep 0.1; done
router_forwards 24640 || fail "the router holds no mapping of Far Fort's port"

# Proved and listed on both lists within seconds.
for _ in $(seq 50); do
  lists_game 24680 "45.33.0.7:24640 Far Fort" && lists_game 24690 "45.33.0.7:24640 Far Fort" && break
  sleep 0.2
done
lists_game 24680 "45.33.0.7:24640 Far Fort" || fail "the first list does not list Far Fort"
lists_game 24690 "45.33.0.7:24640 Far Fort" || fail "the second list does not list Far Fort"

# The player's session menu lists it, with a round trip, read back from the
# screen: the rows of the list, white on the picture.
STAGE=$WORK/player-game
mkdir -p "$STAGE" && cp -r "$GAME_DIR"/. "$STAGE"/ && cp "$WORK/lists.txt" "$STAGE"/
GAME_DIR=$STAGE start_player Pat 0 1 "" ip netns exec "${tag}p"; pat=$PID; pat_win=$WIN
read_rows() {
  local geometry
  shot "$1"
  geometry=$(xwininfo -id "$pat_win" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
    /Width:/{w=$2} /Height:/{h=$2} END{printf "%dx%d+%d+%d", w * 0.8, h * 0.36, x + w * 0.1, y + h * 0.40}')
  convert "$ARTEFACTS/$1.png" -crop "$geometry" +repage -colorspace Gray -threshold 90% -negate -resize 200% \
    "$ARTEFACTS/$1-rows.png"
  tesseract "$ARTEFACTS/$1-rows.png" stdout --psm 6 2>/dev/null | tee "$ARTEFACTS/$1-rows.txt"
}
far_fort_row() {
  local rows
  for _ in 1 2 3; do
    rows=$(read_rows "$1")
    grep -qE '[0-9]+ ms +Far Fort' <<<"$rows" && break
    sleep 2
  done
  ROUND_TRIP=$(sed -nE 's/.*[^0-9]([0-9]+) ms +Far Fort.*/\1/p' <<<"$rows" | head -n 1)
  [ -n "$ROUND_TRIP" ] || return 1
  echo "the menu shows Far Fort at $ROUND_TRIP ms"
}
far_fort_row 01-internet-games || fail "the session menu does not show Far Fort with its round trip"
grep -q "Hidden Hall" "$ARTEFACTS/01-internet-games-rows.txt" && fail "the menu shows Hidden Hall"

# One list stops: after the menu's next refresh, the game is still there.
kill -TERM "$list24680"
sleep 12
far_fort_row 02-one-list-down || fail "with one list down, the menu lost Far Fort"

# The player selects it, enters and plays.
activate "$pat_win" 0.5
hold_key Return 0.3
for _ in $(seq 100); do out_of FarFort | grep -q "join: Pat " && break; sleep 0.1; done
out_of FarFort | grep -q "join: Pat " || fail "Pat could not join Far Fort"
sleep 1; click
end=$((SECONDS + 15)) turn=0 keys=(Up Left Down Right)
while [ $SECONDS -lt $end ]; do
  hold_key "${keys[$((turn % 4))]}" 0.4; click; click
  turn=$((turn + 1))
done
shot 03-playing
sleep 3
server_state=$(state_of "$far_fort" FarFort)
pat_state=$(state_of "$pat" Pat)
printf '%s\n' "Far Fort: $server_state" "Pat: $pat_state" | tee "$ARTEFACTS/states.txt"
# Pat's shots became the host's (a shot or two fired just after a death
# that Pat had not yet heard of may be refused).
pat_id=$(state_field "$pat_state" own | cut -d: -f1)
numbered=$(tr ',' '\n' <<<"$(state_field "$server_state" numbered)" | awk -F: -v id="$pat_id" '$1 == id { print $2 }')
echo "Far Fort numbered ${numbered:-no} shots of Pat's"
[ "${numbered:-0}" -ge 3 ] || fail "Far Fort numbered only ${numbered:-no} shots of Pat's"
own_tanks_disagree "$server_state" "$pat_state" || fail "Pat's tank is not what Far Fort holds of it"

# Hidden Hall, whose port the router does not forward, was never listed;
# it says why.
for _ in $(seq 300); do
  out_of HiddenHall | grep -q "has not seen the proof: UDP port 24650 does not seem reachable" && break
  hidden_listed && break
  sleep 0.2
done
hidden_listed && fail "Hidden Hall is listed"
grep -qF "$NEVER_LISTED" "$ARTEFACTS/list24690.txt" && fail "the list took Hidden Hall"
out_of HiddenHall | grep -q "has not seen the proof: UDP port 24650 does not seem reachable" ||
  fail "Hidden Hall does not say why it is not listed"

# Far Fort ends: it withdraws its game from the list that is still up and
# the list drops it at once; the router forgets its port.
kill -TERM "$pat" "$far_fort"
wait_exit "$far_fort" 100 || fail "Far Fort did not stop"
wait_exit "$pat" 100 || fail "Pat's program did not quit"
out_of FarFort | grep "lists: the list at" | tail -n 2
out_of FarFort | grep -q "lists: the list at 45.33.0.1:24690 has withdrawn the game" ||
  fail "Far Fort did not withdraw its game"
sleep 1.5  # the list builds its document at most once a second
lists_game 24690 "45.33.0.7:24640 Far Fort" && fail "Far Fort is still listed after its end"
router_forwards 24640 && fail "the router still forwards Far Fort's port"
hidden_listed && fail "Hidden Hall is listed"

for name in FarFort HiddenHall Pat; do
  cp "$(dir_of $name)/stdout.txt" "$ARTEFACTS/$name-stdout.txt"
  cp "$(dir_of $name)/stderr.txt" "$ARTEFACTS/$name-stderr.txt"
done
echo PASS
