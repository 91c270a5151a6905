#!/usr/bin/env bash
# fakemill-cli hash against openssl dgst and the coreutils sums, side by side on one 1 GiB file
# held in the page cache. For each algorithm the three tools run in turn, five rounds, and the
# median wall time of each is compared. Ratios are throughputs: above 1.0, fakemill-cli is faster.
#
#   bench/hash.sh            md5, sha1 and sha256 (crc is checked for correctness only)
#   HASH_BENCH_MIB=256 bench/hash.sh   a smaller file
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$repo_root"

rounds=5
mib=${HASH_BENCH_MIB:-1024}

configure_plain_build
ninja -C "$build_dir" fakemill-cli >/dev/null
cli="$build_dir/cli/fakemill-cli"

for tool in openssl md5sum sha1sum sha256sum; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/deps.sh --bench)" >&2; exit 1; }
done

# The file lives in memory (tmpfs) when there is room, otherwise in the build folder, whose
# pages stay cached after the first read.
data_dir="$build_dir/bench-data"
if [[ -d /dev/shm && -w /dev/shm ]] && (( $(df -Pm /dev/shm | awk 'NR == 2 { print $4 }') > mib + 256 )); then
    data_dir=$(mktemp -d /dev/shm/fakemill-hash.XXXXXX)
    trap 'rm -rf "$data_dir"' EXIT
fi
mkdir -p "$data_dir"
file="$data_dir/hash-bench.bin"
if [[ ! -f "$file" || $(stat -c %s "$file") -ne $((mib << 20)) ]]; then
    echo "Making a $mib MiB file in $data_dir"
    head -c "$((mib << 20))" /dev/urandom >"$file"
fi
cat "$file" >/dev/null # into the page cache

now_ns() { date +%s%N; }

# Runs a command, discarding its output, and prints its wall time in nanoseconds.
time_ns() {
    local start end
    start=$(now_ns)
    "$@" >/dev/null
    end=$(now_ns)
    echo $((end - start))
}

# Correctness first: the same digests as the peers, and the standard CRC-32 of "123456789".
check_file="$data_dir/check-123456789"
printf '123456789' >"$check_file"
crc=$("$cli" hash -a crc "$check_file" | cut -d' ' -f1)
[[ "$crc" == "cbf43926" ]] || { echo "CRC of 123456789 is '$crc', expected cbf43926" >&2; exit 1; }

printf '%-8s %12s %12s %12s %16s %16s\n' algorithm fakemill openssl coreutils "fakemill/openssl" "fakemill/coreutils"
for algorithm in md5 sha1 sha256; do
    sum_tool="${algorithm}sum"
    ours=$("$cli" hash -a "$algorithm" "$file" | cut -d' ' -f1)
    theirs=$("$sum_tool" "$file" | cut -d' ' -f1)
    [[ "$ours" == "$theirs" ]] || { echo "$algorithm differs: $ours vs $theirs" >&2; exit 1; }

    fakemill_times=() openssl_times=() coreutils_times=()
    for ((round = 0; round < rounds; round++)); do
        # The order turns each round, so no tool always runs first or last.
        for turn in 0 1 2; do
            case $(((round + turn) % 3)) in
            0) fakemill_times+=("$(time_ns "$cli" hash -a "$algorithm" "$file")") ;;
            1) openssl_times+=("$(time_ns openssl dgst "-$algorithm" "$file")") ;;
            2) coreutils_times+=("$(time_ns "$sum_tool" "$file")") ;;
            esac
        done
    done
    f=$(median "${fakemill_times[@]}")
    o=$(median "${openssl_times[@]}")
    c=$(median "${coreutils_times[@]}")
    awk -v a="$algorithm" -v f="$f" -v o="$o" -v c="$c" -v mib="$mib" 'BEGIN {
        printf "%-8s %9.0f ms %9.0f ms %9.0f ms %16.2f %16.2f\n", a, f / 1e6, o / 1e6, c / 1e6, o / f, c / f
        printf "%-8s %9.0f MB/s %7.0f MB/s %7.0f MB/s\n", "", mib * 1048.576 / (f / 1e6), mib * 1048.576 / (o / 1e6), mib * 1048.576 / (c / 1e6)
    }'
done
