#!/usr/bin/env bash
# The cost of a definition, side by side in one run, on a tmpfs folder:
#   generate --all of 20,000 one-file definitions   vs one definition making the same 20,000
#                                                    files (target: at most 2 x its time)
#   generate --all of 2,000 definitions of no file   (target: under 0.5 s)
# Each measurement is the median of RUNS runs (default 3), taken alternately.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$root"
build_targets fakemill-cli

cli="$build/cli/fakemill-cli"
runs=${RUNS:-3}
work=$(mktemp -d /dev/shm/fakemill-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

# Written directly: defining 22,000 names one command at a time would take longer than the runs.
definitions() { # count files file
    local i
    for ((i = 0; i < $1; i++)); do
        printf '[d%d]\r\nType=bin\r\nFiles=%s\r\nSize=1KB\r\nSimpleName=1\r\nPrefix=p%d_\r\n' "$i" "$2" "$i"
    done >"$3"
}
definitions 20000 1 "$work/one-file-each.ini"
definitions 2000 0 "$work/no-files.ini"
printf '[all]\r\nType=bin\r\nFiles=20000\r\nSize=1KB\r\nSimpleName=1\r\n' >"$work/one-definition.ini"

generate() { # config
    rm -rf "$work/out"
    seconds_of "$cli" --config "$1" generate -q --pace 0 -o "$work/out" --all
}

declare -a t_each t_one t_empty
for run in $(seq 1 "$runs"); do
    t_each+=("$(generate "$work/one-file-each.ini")")
    t_one+=("$(generate "$work/one-definition.ini")")
    t_empty+=("$(generate "$work/no-files.ini")")
done
rm -rf "$work/out"

each=$(median "${t_each[@]}")
one=$(median "${t_one[@]}")
empty=$(median "${t_empty[@]}")
echo "20,000 files of 1 KiB: 20,000 definitions ${each}s, one definition ${one}s"
echo "  definitions / one definition: $(ratio "$each" "$one") x   (target <= 2)"
echo "2,000 definitions of no file: ${empty}s   (target < 0.5)"
