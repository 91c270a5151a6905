#!/usr/bin/env bash
# The hash calculator's worker against the direct hashing that fakemill-cli hash did before it
# went through the worker: the same 1 GiB file, both programs in one run, alternately. Target:
# the worker within 5% of the direct hashing.
#
#   bench/hash_worker.sh        BASELINE=<commit> REPEAT=5 bench/hash_worker.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
# The last commit whose hash command hashed on its own thread.
baseline=${BASELINE:-ef723d1}
repeat=${REPEAT:-3}
build_targets fakemill-cli
cli=$build/cli/fakemill-cli

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/src"
git -C "$root" archive "$baseline" | tar -x -C "$work/src"
cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFAKEMILL_TESTS=OFF \
    -DFAKEMILL_BENCH=OFF >/dev/null
ninja -C "$work/build" fakemill-cli >/dev/null
direct=$work/build/cli/fakemill-cli

file=$work/data.bin
head -c 1G /dev/urandom >"$file"
cat "$file" >/dev/null

status=PASS
for algorithm in crc md5 sha256; do
    best_direct=""
    best_worker=""
    for ((i = 0; i < repeat; i++)); do
        d=$(seconds_of "$direct" hash -a "$algorithm" "$file")
        w=$(seconds_of "$cli" hash -a "$algorithm" "$file")
        best_direct=$(awk -v t="$d" -v b="${best_direct:-1e9}" 'BEGIN { print (t < b) ? t : b }')
        best_worker=$(awk -v t="$w" -v b="${best_worker:-1e9}" 'BEGIN { print (t < b) ? t : b }')
    done
    r=$(ratio "$best_worker" "$best_direct")
    verdict=$(awk -v r="$r" 'BEGIN { print (r <= 1.05) ? "PASS" : "FAIL" }')
    [[ $verdict == PASS ]] || status=FAIL
    printf '%-7s direct %6s s (%4.0f MiB/s)   worker %6s s (%4.0f MiB/s)   worker / direct %s  %s\n' \
        "$algorithm" "$best_direct" "$(awk -v t="$best_direct" 'BEGIN { print 1024 / t }')" \
        "$best_worker" "$(awk -v t="$best_worker" 'BEGIN { print 1024 / t }')" "$r" "$verdict"
done
echo "worker within 5% of direct hashing: $status"
