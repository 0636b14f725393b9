#!/usr/bin/env bash
# Start-up of the real game program timed from outside, under the current X
# display: launch until the first frame is on screen, with sound and music
# on, at 640x480 and 1024x768; the median of five launches each.
#   startup_time.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
copy=$(mktemp -d /tmp/morvane-bench.XXXXXX)
trap 'rm -rf "$copy"' EXIT
cp -r "$build/game/." "$copy/"
cd "$copy"
for row in 3 5; do
  printf 'MRVN_CONFIG\r\n\r\r\nSET_RESOLUTION %d \r\nSET_SOUND 1 \r\nSET_MUSIC 1 \r\nSET_PARTICLES 1 \r\nSET_PLAYERNAME "Player"\r\nSET_SERVER 1\r\nSET_NETWORKING 0 \r\nSET_IPADDRESS "0.0.0.0"\r\n' "$row" > config.dat
  times=()
  for run in 1 2 3 4 5; do
    times+=("$("$build/bench/morvane_first_frame" ./Morvane)")
    sleep 0.3
  done
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 3p)
  echo "  resolution row $row: launch to first frame on screen, median ${median} ms (runs: ${times[*]})"
done
