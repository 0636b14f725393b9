#!/usr/bin/env bash
# Runs the benchmarks under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/../build"
for b in bench/morvane_bench_*; do
  [ -x "$b" ] || continue
  echo "== $b"
  SDL_AUDIODRIVER=dummy xvfb-run -a -s "-screen 0 1024x768x24" "$b"
done
