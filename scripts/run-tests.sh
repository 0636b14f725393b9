#!/usr/bin/env bash
# Runs every test of both builds headless: Xvfb is started here, sound goes
# to SDL's dummy driver.
set -uo pipefail
cd "$(dirname "$0")/.."
export SDL_AUDIODRIVER=dummy
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# LeakSanitizer is on. The leaks it ignores are the system libraries' own,
# listed with their reasons in tests/leak_suppressions.txt; the preloaded
# library keeps those libraries loaded until the report, so that their
# leaks can be told apart from ours (see tests/keep_libraries.c).
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:verify_asan_link_order=0
export LSAN_OPTIONS=suppressions=$PWD/tests/leak_suppressions.txt:print_suppressions=0
# -noreset: by default the X server resets whenever its last client leaves,
# and a program that connects during the reset is refused. The end-to-end
# tests start and stop programs one after another, so they would hit it.
status=0
for dir in build build-asan; do
  echo "== Tests in $dir"
  preload=""
  [ "$dir" = build-asan ] && preload=$PWD/build-asan/tests/libkeep_libraries.so
  LD_PRELOAD=$preload xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp -noreset" \
    ctest --test-dir "$dir" --output-on-failure -j 2 --timeout 600 || status=1
done
exit $status
