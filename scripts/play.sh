#!/usr/bin/env bash
# Starts the configurator in the game directory (the game itself when the
# configurator has not been built); with BOTS set, the game against that
# many computer players (SKILL: how well they play).
set -euo pipefail
cd "$(dirname "$0")/../build/game"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "make play: there is no display (DISPLAY is not set)." >&2
  echo "Run it from a desktop session, or under Xvfb: xvfb-run -a make play" >&2
  exit 1
fi
if [ -n "${BOTS:-}" ]; then
  exec ./morvane --bots "$BOTS" ${SKILL:+--skill "$SKILL"}
fi
if [ -x ./Morvane-Configuration ]; then
  exec ./Morvane-Configuration
fi
exec ./Morvane
