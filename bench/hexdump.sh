#!/usr/bin/env bash
# fakemill-cli hexdump against xxd and hexdump -C over the same 256 MiB file of random bytes,
# output to /dev/null. Target: at least twice as fast as the faster of the two.
#
#   bench/hexdump.sh            REPEAT=3 bench/hexdump.sh  (best of three runs each)
set -euo pipefail
source "$(dirname "$0")/common.sh"
need_tools xxd hexdump
build_targets fakemill-cli
cli=$build/cli/fakemill-cli
repeat=${REPEAT:-1}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file=$work/random.bin
head -c 256M /dev/urandom >"$file"
cat "$file" >/dev/null # every tool reads from the page cache

fakemill=$(best_of "$repeat" "$cli" hexdump "$file")
xxd=$(best_of "$repeat" xxd "$file")
hexdumpC=$(best_of "$repeat" hexdump -C "$file")
faster=$(awk -v a="$xxd" -v b="$hexdumpC" 'BEGIN { print (a < b) ? a : b }')
speedup=$(ratio "$faster" "$fakemill")

printf '%-24s %8s s\n' "fakemill-cli hexdump" "$fakemill" "xxd" "$xxd" "hexdump -C" "$hexdumpC"
printf 'xxd / fakemill:          %sx\n' "$(ratio "$xxd" "$fakemill")"
printf 'hexdump -C / fakemill:   %sx\n' "$(ratio "$hexdumpC" "$fakemill")"
printf 'faster peer / fakemill:  %sx (target: at least 2x) %s\n' "$speedup" \
    "$(awk -v s="$speedup" 'BEGIN { print (s >= 2) ? "PASS" : "FAIL" }')"
