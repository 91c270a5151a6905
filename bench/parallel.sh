#!/usr/bin/env bash
# Parallel files and manifests, side by side in one run, on a tmpfs folder:
#   2,000 PNG pictures of 400 x 320 with 8 elements   default jobs vs --jobs 1   (target >= 1.7 x
#   1,000 binary files of 1 MiB                       default jobs vs --jobs 1    on 2 cores)
#   1 GiB of binary                                   --manifest vs without (target >= 0.6 x the
#                                                     throughput: hashing runs beside generation)
#   verify on that GiB                                vs sha256sum -c on the same files (>= 2 x)
#   one PNG                                           the program's zlib level vs Qt's default:
#                                                     time per picture and the change in size
# Beside them, the ceilings this machine sets: the same 1,000 files written by a plain writer that
# computes nothing (two threads vs one: what the kernel's page cache allows), and the time of one
# SHA-256 stream over the GiB (verify's time), which a manifest run cannot beat.
# Each measurement is the median of RUNS runs (default 3), taken alternately. On a machine that
# other work keeps busy the ratios of the parallel runs shrink: say so with the figures.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$root"
need_tools sha256sum
build_targets fakemill-cli png_level plain_writer

cli="$build/cli/fakemill-cli"
runs=${RUNS:-3}
work=$(mktemp -d /dev/shm/fakemill-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

config="$work/bench.ini"
"$cli" --config "$config" define --type img pictures Files=2000 Width=400 Height=320 Elements=8 \
    ImageType=png SimpleName=1 >/dev/null
"$cli" --config "$config" define --type bin mebibytes Files=1000 Size=1MB SimpleName=1 >/dev/null
"$cli" --config "$config" define --type bin gib Size=1GB SimpleName=1 >/dev/null

fresh() { rm -rf "$work/out"; mkdir -p "$work/out"; }
gen() { "$cli" --config "$config" generate --pace 0 -o "$work/out" "$@"; }
verify_sums() { (cd "$work/out" && sha256sum --quiet -c fakemill.sha256); }

declare -a t_png t_png1 t_bin t_bin1 t_plain t_manifest t_verify t_sums t_writer t_writer1
for run in $(seq 1 "$runs"); do
    fresh; t_png+=("$(seconds_of gen pictures)")
    fresh; t_png1+=("$(seconds_of gen --jobs 1 pictures)")
    fresh; t_bin+=("$(seconds_of gen mebibytes)")
    fresh; t_bin1+=("$(seconds_of gen --jobs 1 mebibytes)")
    fresh; t_writer+=("$(seconds_of "$build/bench/plain_writer" "$work/out" 1000 1048576 "$(nproc)")")
    fresh; t_writer1+=("$(seconds_of "$build/bench/plain_writer" "$work/out" 1000 1048576 1)")
    fresh; t_plain+=("$(seconds_of gen gib)")
    fresh; t_manifest+=("$(seconds_of gen --manifest gib)")
    t_verify+=("$(seconds_of "$cli" verify "$work/out")")
    t_sums+=("$(seconds_of verify_sums)")
done
rm -rf "$work/out"
read -r png_ms png_bytes png_default_ms png_default_bytes < <("$build/bench/png_level")

png=$(median "${t_png[@]}"); png1=$(median "${t_png1[@]}")
bin=$(median "${t_bin[@]}"); bin1=$(median "${t_bin1[@]}")
writer=$(median "${t_writer[@]}"); writer1=$(median "${t_writer1[@]}")
plain=$(median "${t_plain[@]}"); manifest=$(median "${t_manifest[@]}")
verify=$(median "${t_verify[@]}"); sums=$(median "${t_sums[@]}")

echo "cores: $(nproc); load average before the last run: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "2,000 PNG 400x320:         default jobs ${png}s, --jobs 1 ${png1}s: $(ratio "$png1" "$png") x   (target >= 1.7)"
echo "1,000 binary files, 1 MiB: default jobs ${bin}s, --jobs 1 ${bin1}s: $(ratio "$bin1" "$bin") x   (target >= 1.7)"
echo "  ceiling: a plain writer, no content, $(nproc) threads ${writer}s, 1 thread ${writer1}s: $(ratio "$writer1" "$writer") x"
echo "1 GiB binary:              --manifest ${manifest}s, without ${plain}s: $(ratio "$plain" "$manifest") x the throughput   (target >= 0.6)"
echo "  ceiling: one SHA-256 stream over the GiB takes ${verify}s (verify): at best $(ratio "$plain" "$verify") x"
echo "verify that GiB:           fakemill verify ${verify}s, sha256sum -c ${sums}s: $(ratio "$sums" "$verify") x   (target >= 2)"
echo "one PNG:                   ${png_ms} ms at the program's zlib level, ${png_default_ms} ms at Qt's default ($(ratio "$png_default_ms" "$png_ms") x);"
echo "                           ${png_bytes} bytes instead of ${png_default_bytes} ($(ratio "$png_bytes" "$png_default_bytes") x the size)"
