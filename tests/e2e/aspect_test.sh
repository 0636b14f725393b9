#!/usr/bin/env bash
# The picture keeps its proportions on a wide screen: run on a 1280x720
# X server (started by the test), a 4:3 game shows its picture 960 wide in
# the middle with bars of the clear colour, 160 wide, left and right.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
ARTEFACTS=${2:-}
make_game_copy "$1"
[ -n "$2" ] && mkdir -p "$ARTEFACTS"
cd "$GAME_COPY" || exit 1
trap 'rm -rf "$GAME_COPY"' EXIT
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
[ "$(root_size)" = "1280x720" ] || fail "the screen is $(root_size), not 1280x720"

# Lowest and highest grey level (0-255) in a region WxH+X+Y of a picture.
grey_range() {
  convert "$1" -crop "$2" +repage -colorspace Gray -format '%[fx:round(minima*255)] %[fx:round(maxima*255)]' info:
}

for row in 3 5; do
  write_default_config .
  sed -i "s/SET_SERVER 1/SET_SERVER 0/; s/SET_RESOLUTION [0-9]/SET_RESOLUTION $row/" config.dat
  ./Morvane 2>stderr.txt & pid=$!
  wait_for_window "Morvane - " >/dev/null || { cat stderr.txt; fail "no game window at row $row"; }
  # A busy machine may take a while for the first frame: look again until
  # the left bar shows, then check everything on that picture.
  picture="$ARTEFACTS/aspect-row$row.png"
  for _ in $(seq 60); do
    import -window root "$picture" || fail "no screenshot"
    read -r low high <<<"$(grey_range "$picture" 158x720+0+0)"
    [ "$low" -ge 124 ] && [ "$high" -le 132 ] && break
    sleep 0.5
  done
  for bar in 158x720+0+0 158x720+1122+0; do
    read -r low high <<<"$(grey_range "$picture" "$bar")"
    [ "$low" -ge 124 ] && [ "$high" -le 132 ] || fail "bar $bar at row $row is not the clear colour: grey $low..$high"
  done
  read -r low high <<<"$(grey_range "$picture" 956x720+162+0)"
  [ $((high - low)) -gt 60 ] || fail "no picture between the bars at row $row: grey $low..$high"
  # The picture reaches the top and bottom edges: no bars there.
  for edge in 956x2+162+0 956x2+162+718; do
    read -r low high <<<"$(grey_range "$picture" "$edge")"
    [ "$low" -lt 124 ] || [ "$high" -gt 132 ] || fail "a bar at $edge at row $row"
  done
  hold_key Escape
  wait_exit $pid || fail "Escape did not end the game at row $row"
done
echo "aspect: bars kept at both rows"
