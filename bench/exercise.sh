#!/usr/bin/env bash
# The file exerciser's kernel way against no exerciser: an unrelated program's opens of 1,000
# other files while 1,000 files are held (ratio of medians, target at most 1.05), and the median
# time of a refused open of a held file (target at most 1 ms). Needs root or the helper's
# capability.
#
#   bench/exercise.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
build_targets hold_driver fakemill-hold
export FAKEMILL_HOLD_HELPER=$build/helper/fakemill-hold

output=$("$build/bench/hold_driver")
# The same with one file held: the kernel takes its slower path for every open on a filesystem
# with any permission watcher, so this shows how much of the cost is the watcher's mere presence.
single=$(FAKEMILL_BENCH_HELD=1 "$build/bench/hold_driver" | awk '$1 == "unrelated" { print $2 }')
ratio=$(awk '$1 == "unrelated" { print $2 }' <<<"$output")
denied=$(awk '$1 == "denied" { print $2 }' <<<"$output")
status=PASS
unrelated_verdict=$(awk -v r="$ratio" 'BEGIN { print (r <= 1.05) ? "PASS" : "FAIL" }')
denied_verdict=$(awk -v d="$denied" 'BEGIN { print (d >= 0 && d <= 1000) ? "PASS" : "FAIL" }')
[[ $unrelated_verdict == PASS && $denied_verdict == PASS ]] || status=FAIL
grep -v -E '^(unrelated|denied) ' <<<"$output" || true
printf 'unrelated opens, 1,000 files held vs none: %s x (target <= 1.05) %s\n' "$ratio" "$unrelated_verdict"
printf 'unrelated opens, 1 file held vs none:      %s x (for comparison)\n' "$single"
printf 'a refused open of a held file, median:    %s us (target <= 1000) %s\n' "$denied" "$denied_verdict"
echo "$status"
[[ $status == PASS ]]
