#!/usr/bin/env bash
# Builds the whole project with ThreadSanitizer (clang, in build-tsan/) and runs the whole test
# suite under it. It stands apart from scripts/test.sh, whose plain and ASan runs already take most
# of the time a CI run of two cores may have; run it after changing threads or their hand-offs.
#
#   scripts/tsan.sh            configure (once), build and run every test
#   scripts/tsan.sh -R REGEX   only the tests ctest selects with -R
#
# Qt is not built with ThreadSanitizer: its own locks and reference counts are invisible to it, so
# the hand-offs that pass through Qt (queued calls, implicitly shared strings) are suppressed in
# scripts/tsan.supp, each entry saying why. A report in project code fails the run (exit 66 from the
# test that raised it); the summary at the end counts the reports of every test.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$repo_root"

tsan_dir="$repo_root/build-tsan"
if ! command -v clang++ >/dev/null 2>&1; then
    echo "tsan.sh: clang++ is missing (scripts/deps.sh installs it)" >&2
    exit 1
fi
cmake -S "$repo_root" -B "$tsan_dir" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    "${compiler_cache[@]}" -DCMAKE_BUILD_TYPE=ThreadSanitizer \
    -DCMAKE_CXX_FLAGS_THREADSANITIZER="-O1 -g -fsanitize=thread -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS_THREADSANITIZER="-fsanitize=thread" \
    -DCMAKE_SHARED_LINKER_FLAGS_THREADSANITIZER="-fsanitize=thread" \
    -DFAKEMILL_TSAN=ON -DFAKEMILL_BENCH=OFF -DFAKEMILL_WERROR=ON >/dev/null
ninja -C "$tsan_dir"

log_dir="$tsan_dir/reports"
rm -rf "$log_dir"
mkdir -p "$log_dir"
# die_after_fork=0: the death tests and the lock probes fork a process that only checks and exits.
export TSAN_OPTIONS="suppressions=$repo_root/scripts/tsan.supp second_deadlock_stack=1 die_after_fork=0 log_path=$log_dir/report"
status=0
ctest --test-dir "$tsan_dir" -j "$(nproc)" --timeout 900 --output-on-failure "$@" || status=$?

reports=$(cat "$log_dir"/report.* 2>/dev/null | grep -c '^WARNING: ThreadSanitizer' || true)
echo "== ThreadSanitizer: $reports report(s) in project code ($log_dir)"
if [[ "$reports" -ne 0 ]]; then
    status=1
fi
exit "$status"
