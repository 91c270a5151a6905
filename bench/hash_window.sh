#!/usr/bin/env bash
# The hash calculator window (offscreen, driven by tests/ui/drivers/hash_window_driver.cpp)
# against openssl dgst, side by side in one run:
#  - a 1 GiB file in the page cache, MD5, SHA1 and SHA256, from the add to the value shown: the
#    window's throughput at least 0.95 x openssl's, and the window's thread never kept from a
#    10 ms timer for more than 50 ms;
#  - 10,000 small files dropped at once: every row listed within 1 s, all hashed, and the longest
#    stall of the window's thread meanwhile.
# Each figure is the best of REPEAT runs, the two programs taking turns; stalls are the worst seen.
#
#   bench/hash_window.sh        SIZE=256M REPEAT=5 FILES=20000 bench/hash_window.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
need_tools openssl
size=${SIZE:-1G}
repeat=${REPEAT:-3}
files=${FILES:-10000}
build_targets hash_window_driver
driver=$build/bench/hash_window_driver

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The window saves its settings when it closes: into a home of its own, not the user's.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

file=$work/data.bin
head -c "$size" /dev/urandom >"$file"
cat "$file" >/dev/null
mib=$(($(stat -c %s "$file") / 1048576))

min() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }
max() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a > b) ? a : b }'; }

status=PASS
echo "hash calculator window vs openssl dgst, $mib MiB in the page cache, best of $repeat"
for algorithm in md5 sha1 sha256; do
    best_openssl="" best_window="" worst_stall="" value=""
    for ((i = 0; i < repeat; i++)); do
        o=$(seconds_of openssl dgst "-$algorithm" "$file")
        best_openssl=$(min "$o" "$best_openssl")
        read -r _ w _ stall _ value < <("$driver" large "$file" "$algorithm" 2>/dev/null)
        best_window=$(min "$w" "$best_window")
        worst_stall=$(max "$stall" "$worst_stall")
    done
    expected=$(openssl dgst "-$algorithm" -r "$file" | cut -d' ' -f1)
    [[ ${value,,} == "$expected" ]] || { echo "$algorithm: the window showed $value, openssl $expected"; status=FAIL; }
    # Throughput ratio: the window's MiB/s over openssl's.
    r=$(ratio "$best_openssl" "$best_window")
    verdict=$(awk -v r="$r" -v s="$worst_stall" 'BEGIN { print (r >= 0.95 && s <= 50) ? "PASS" : "FAIL" }')
    [[ $verdict == PASS ]] || status=FAIL
    printf '%-7s openssl %6s s (%5.0f MiB/s)   window %6s s (%5.0f MiB/s)   window / openssl %s   longest stall %3s ms  %s\n' \
        "$algorithm" "$best_openssl" "$(awk -v t="$best_openssl" -v m="$mib" 'BEGIN { print m / t }')" \
        "$best_window" "$(awk -v t="$best_window" -v m="$mib" 'BEGIN { print m / t }')" "$r" "$worst_stall" "$verdict"
done

mkdir "$work/many"
for ((i = 0; i < files; i++)); do
    printf 'small file %d\n' "$i" >"$work/many/f$i.txt"
done
best_listed="" best_finished="" worst_stall="" worst_listing_stall=""
for ((i = 0; i < repeat; i++)); do
    read -r _ count _ listed _ finished _ stall _ failed _ listing_stall < <("$driver" many "$work/many" 2>/dev/null)
    best_listed=$(min "$listed" "$best_listed")
    best_finished=$(min "$finished" "$best_finished")
    worst_stall=$(max "$stall" "$worst_stall")
    worst_listing_stall=$(max "$listing_stall" "$worst_listing_stall")
    [[ $count == "$files" && $failed == 0 ]] || { echo "dropped $count files, $failed failed"; status=FAIL; }
done
verdict=$(awk -v l="$best_listed" -v s="$worst_stall" 'BEGIN { print (l <= 1 && s <= 50) ? "PASS" : "FAIL" }')
[[ $verdict == PASS ]] || status=FAIL
printf '%d files dropped at once: listed in %s s, all hashed in %s s, longest stall %s ms (%s ms while listing)  %s\n' \
    "$files" "$best_listed" "$best_finished" "$worst_stall" "$worst_listing_stall" "$verdict"
echo "hash calculator window: $status"
