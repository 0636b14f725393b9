#!/usr/bin/env bash
# Starts the configurator in the game directory (the game itself when the
# configurator has not been built).
set -euo pipefail
cd "$(dirname "$0")/../build/game"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "make play: there is no display (DISPLAY is not set)." >&2
  echo "Run it from a desktop session, or under Xvfb: xvfb-run -a make play" >&2
  exit 1
fi
if [ -x ./Morvane-Configuration ]; then
  exec ./Morvane-Configuration
fi
exec ./Morvane
