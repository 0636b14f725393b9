#!/usr/bin/env bash
# Runs every fuzz target of build-fuzz for FUZZ_SECONDS seconds each (default
# 180), or only those named in FUZZ_TARGETS, and reports for each the inputs
# executed, the coverage reached and the findings. Each target starts from
# the seeds its replay program writes, the inputs kept in
# tests/fuzz/corpus/<target>/ and the corpus of earlier runs, which grows in
# build-fuzz/fuzz/corpus/<target>/. A finding stops its target and is kept in
# build-fuzz/fuzz/findings/<target>/; once fixed, copy it into
# tests/fuzz/corpus/<target>/ so that `make test` replays it from then on.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-180}
targets=${FUZZ_TARGETS:-config level bitmap wave midi host_message client_message system_message message_sequence discovery session_packet list_announcement}
programs=build-fuzz/tests/fuzz
work=build-fuzz/fuzz
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export LSAN_OPTIONS=suppressions=$PWD/tests/leak_suppressions.txt
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export SDL_AUDIODRIVER=dummy

status=0
printf '%-18s %12s %8s %8s %9s  %s\n' target executions cov ft corpus findings
for target in $targets; do
  mkdir -p "$work/corpus/$target" "$work/findings/$target"
  "$programs/replay_$target" --write-seeds "$work/seeds/$target" || { status=1; continue; }
  inputs=("$work/corpus/$target" "$work/seeds/$target")
  [ -d "tests/fuzz/corpus/$target" ] && inputs+=("tests/fuzz/corpus/$target")
  log="$work/$target.log"
  "$programs/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/findings/$target/" "${inputs[@]}" >"$log" 2>&1
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  corpus=$(ls "$work/corpus/$target" | wc -l)
  findings=$(ls "$work/findings/$target" | tr '\n' ' ')
  printf '%-18s %12s %8s %8s %9s  %s\n' "$target" "${executions:-?}" "${cov:-?}" "${ft:-?}" "$corpus" "${findings:-none}"
  if [ -n "$findings" ]; then
    status=1
    grep -m1 -A3 'ERROR\|Broken\|runtime error' "$log" | sed 's/^/    /'
  fi
done
exit $status
