#!/usr/bin/env bash
# Runs the benchmarks under Xvfb: where a frame's time goes, the simulation
# step, the network traffic of a full game, what computer players cost,
# how smoothly a player sees another over a lossy link (as root), the
# dedicated server with seven players, the public list of games holding
# 10,000 of them and the game reading one of 20,000, the real game
# program's start-up timed from outside, and the real game hosting an
# eight-player battle at 1024 x 768.
# Arguments go to the frame benchmark ("quick": the worst case only).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root/build"
export SDL_AUDIODRIVER=dummy
# Benchmarks measure what a frame costs, not the paced rate players see.
export MORVANE_UNPACED=1
xvfb=(xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp -noreset")
echo "== frame"
"${xvfb[@]}" bench/morvane_bench_render "$@"
echo "== simulation step"
bench/morvane_bench_simulation
echo "== network"
"${xvfb[@]}" bench/morvane_bench_net
echo "== a player watched over a lossy link, and over a reordering one"
"$root/bench/lossy_link.sh" "$root/build"
echo "== computer players"
(cd game && ../bench/morvane_bench_bot)
echo "== the dedicated server, paced at 85 frames a second with seven players"
"$root/bench/server_bench.sh" "$root/build"
echo "== the public list of games, 10,000 listed, on one core"
"$root/bench/list_bench.sh" "$root/build"
echo "== the game reading a list of 20,000 games: the longest stop of a frame"
bench/morvane_bench_list_reading
echo "== start-up of the game program, from outside"
"${xvfb[@]}" "$root/bench/startup_time.sh" "$root/build"
if [ "${1:-}" != quick ]; then
  echo "== the real game hosting seven computer players at 1024x768"
  "${xvfb[@]}" "$root/bench/hosted_battle.sh" "$root/build"
fi
