#!/usr/bin/env bash
# Binary generation against plain tools, side by side in one run, on a tmpfs folder:
#   1 GiB random values with CRC   vs  head -c 1G /dev/urandom  (target >= 4 x)
#                                  vs  bench/lcg_fill, the same generator with no framework
#                                      (target >= 0.7 x)
#   1 GiB with Quick=1024          vs  the same without Quick (target < 1 % of the time), sparse;
#                                      timed as the generator's own run (bench/generator_rate), since
#                                      a whole command's start-up alone passes 1 % of a second
#   1,000 files of 1 KiB, --pace 0 vs  a shell loop of head -c 1024 /dev/urandom (target >= 10 x)
# Each measurement is the median of RUNS runs (default 3), taken alternately.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$root"
build_targets fakemill-cli lcg_fill generator_rate

cli="$build/cli/fakemill-cli"
lcg="$build/bench/lcg_fill"
runs=${RUNS:-3}
work=$(mktemp -d /dev/shm/fakemill-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

config="$work/bench.ini"
"$cli" --config "$config" define --type bin big Size=1GB CRC=1 SimpleName=1
"$cli" --config "$config" define --type bin quick Size=1GB CRC=1 SimpleName=1 Quick=1024
"$cli" --config "$config" define --type bin small Size=1KB Files=1000 SimpleName=1

fresh() { rm -rf "$work/out"; mkdir -p "$work/out"; }
shell_loop() { for i in $(seq 1 1000); do head -c 1024 /dev/urandom >"$work/out/f$i"; done; }

rate="$build/bench/generator_rate"
declare -a t_big t_urandom t_lcg t_quick t_small t_loop t_big_run t_quick_run
for run in $(seq 1 "$runs"); do
    fresh; t_big+=("$(seconds_of "$cli" --config "$config" generate --pace 0 -o "$work/out" big)")
    fresh; t_urandom+=("$(seconds_of sh -c "head -c 1G /dev/urandom >'$work/out/urandom'")")
    fresh; t_lcg+=("$(seconds_of "$lcg" "$work/out/lcg" 1073741824)")
    fresh; t_quick+=("$(seconds_of "$cli" --config "$config" generate --pace 0 -o "$work/out" quick)")
    quick_du=$(du -k "$work/out/fkbin0.bin" | cut -f1)
    fresh; t_big_run+=("$("$rate" "$config" big "$work/out")")
    fresh; t_quick_run+=("$("$rate" "$config" quick "$work/out")")
    fresh; t_small+=("$(seconds_of "$cli" --config "$config" generate --pace 0 -o "$work/out" small)")
    fresh; t_loop+=("$(seconds_of shell_loop)")
done
rm -rf "$work/out"

big=$(median "${t_big[@]}"); urandom=$(median "${t_urandom[@]}"); lcg_time=$(median "${t_lcg[@]}")
quick=$(median "${t_quick[@]}"); small=$(median "${t_small[@]}"); loop=$(median "${t_loop[@]}")
big_run=$(median "${t_big_run[@]}"); quick_run=$(median "${t_quick_run[@]}")

echo "1 GiB binary with CRC:     fakemill ${big}s, head /dev/urandom ${urandom}s, lcg_fill ${lcg_time}s"
echo "  speed vs head /dev/urandom: $(ratio "$urandom" "$big") x   (target >= 4)"
echo "  speed vs lcg_fill:          $(ratio "$lcg_time" "$big") x   (target >= 0.7)"
echo "1 GiB with Quick=1024:     generator ${quick_run}s = $(awk -v a="$quick_run" -v b="$big_run" 'BEGIN {printf "%.2f", 100 * a / b}') % of its ${big_run}s without Quick (target < 1 %); ${quick_du} KiB on disk"
echo "                           (whole commands: ${quick}s with Quick, ${big}s without)"
echo "1,000 files of 1 KiB:      fakemill ${small}s, shell loop ${loop}s"
echo "  speed vs shell loop:        $(ratio "$loop" "$small") x   (target >= 10)"
