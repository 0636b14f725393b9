#!/usr/bin/env bash
# morvane-bot needs no display, picture, sound or music: it loads none of
# their libraries, and it runs with DISPLAY unset.
# Usage: headless_test.sh MORVANE_BOT [until-headless]
# With until-headless, finding those libraries skips the test (exit 77):
# for as long as the program is linked with the windowed game library.
set -uo pipefail
bot=$1
mode=${2:-}
windowed=$(ldd "$bot" | grep -E '\blib(GL|GLU|GLX|OpenGL|SDL2|SDL2_mixer|SDL2-2\.0|fluidsynth|fltk[a-z_]*|rtmidi)[.-]')
if [ -n "$windowed" ]; then
  echo "morvane-bot loads:"
  echo "$windowed"
  if [ "$mode" = until-headless ]; then
    echo "SKIP: morvane-bot is still linked with the windowed game library"
    exit 77
  fi
  echo "FAIL: morvane-bot loads the libraries of the picture, sound or music"
  exit 1
fi
env -u DISPLAY "$bot" --help | grep -q '^Usage: morvane-bot' || { echo "FAIL: no usage without a display"; exit 1; }
env -u DISPLAY "$bot" --skill 0 2>/dev/null
[ $? = 2 ] || { echo "FAIL: a bad argument did not end it with 2"; exit 1; }
# Eight can never all join a game of eight: the host holds a place.
message=$(env -u DISPLAY "$bot" --count 8 127.0.0.1 2>&1)
[ $? = 2 ] || { echo "FAIL: --count 8 did not end it with 2"; exit 1; }
case $message in
  *"--count takes a number from 1 to 7"*) ;;
  *) echo "FAIL: --count 8 said: $message"; exit 1 ;;
esac
echo PASS
