#!/usr/bin/env bash
# The binary viewer window, offscreen, on a 64 GiB sparse file: the open to the first page painted
# (at most 100 ms), paging down 1,000 times (median repaint under 16 ms, 99th percentile under
# 50 ms), a jump to the end and back (no stall above 100 ms) and the peak resident memory (under
# 160 MiB); then xxd reads the same pages (xxd -s OFFSET -l PAGE) and the two totals are compared.
#
#   bench/viewer.sh      SIZE=16G PAGES=200 WIDTH=800 HEIGHT=700 bench/viewer.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
need_tools xxd
build_targets viewer_driver
size=${SIZE:-64G}
pages=${PAGES:-1000}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file=$work/sparse.bin
truncate -s "$size" "$file"

# The window keeps its placement in the user's settings: give it a home of its own.
HOME=$work XDG_CONFIG_HOME=$work/.config XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=offscreen "$build/bench/viewer_driver" "$file" "$pages" "$work/offsets" \
    "${WIDTH:-300}" "${HEIGHT:-700}" | tee "$work/out"

value() { awk -v key="$1" -v field="$2" 'index($0, key) == 1 { gsub(/,/, ""); print $field }' "$work/out"; }
first=$(value "open to first page painted" 6)
median=$(value "paging down" 6)
p99=$(value "paging down" 10)
jump=$(value "jumping to the end" 8)
peak=$(value "peak resident memory" 4)
viewer_ms=$(value "viewer total" 7)
verdict() { awk -v v="$1" -v limit="$2" 'BEGIN { print (v <= limit ? "PASS" : "FAIL") }'; }
printf 'first page %s ms (limit 100): %s\n' "$first" "$(verdict "$first" 100)"
printf 'median repaint %s ms (limit 16): %s\n' "$median" "$(verdict "$median" 16)"
printf '99th percentile %s ms (limit 50): %s\n' "$p99" "$(verdict "$p99" 50)"
printf 'worst jump %s ms (limit 100): %s\n' "$jump" "$(verdict "$jump" 100)"
printf 'peak memory %s MiB (limit 160): %s\n' "$peak" "$(verdict "$peak" 160)"

# xxd on the same pages, one process per page as a user paging with it would run it.
start=$EPOCHREALTIME
while read -r offset length; do
    xxd -s "$offset" -l "$length" "$file" >/dev/null
done <"$work/offsets"
xxd_ms=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", (b - a) * 1000 }')
printf '%-28s %10s ms\n' "viewer, $pages pages:" "$viewer_ms" "xxd, same pages:" "$xxd_ms"
printf 'xxd / viewer: %s\n' "$(ratio "$xxd_ms" "$viewer_ms")"
