#!/usr/bin/env bash
# The binary viewer's loader on a 64 GiB sparse file: the first page must be ready after one
# chunk read, and paging from the start to the end must keep the peak memory under twice the
# cache bound plus 32 MiB.
#
#   bench/binary_loader.sh      SIZE=16G BOUND_MIB=32 bench/binary_loader.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
need_tools /usr/bin/time
build_targets binary_loader_driver
size=${SIZE:-64G}
bound=${BOUND_MIB:-64}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file=$work/sparse.bin
truncate -s "$size" "$file"

/usr/bin/time -v "$build/bench/binary_loader_driver" "$file" --bound "$bound" >"$work/out" 2>"$work/time"
cat "$work/out"
peak_kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time")
limit_kib=$(((2 * bound + 32) * 1024))
reads=$(awk '/first page ready after/ { print $5 }' "$work/out")
printf 'peak memory: %d MiB, limit 2 x %d MiB + 32 MiB = %d MiB: %s\n' "$((peak_kib / 1024))" "$bound" \
    "$((limit_kib / 1024))" "$([[ $peak_kib -lt $limit_kib ]] && echo PASS || echo FAIL)"
printf 'first page after %s chunk read(s): %s\n' "$reads" "$([[ $reads == 1 ]] && echo PASS || echo FAIL)"
