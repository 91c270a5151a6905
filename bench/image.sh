#!/usr/bin/env bash
# Pictures per second: our drawing and saving code against ImageMagick, for each container.
#
# Ours: fakemill-cli generates COUNT pictures of 400 x 320 with 8 elements from one image
# definition, without the pause after each file. ImageMagick: `convert` draws a background and 8 random shapes on a 400 x 320
# canvas and writes the file with its own writer, once per picture in a shell loop, which is
# how a tester would script it. The target is at least 10 times ImageMagick's rate.
#
#   bench/image.sh                  uses ./build (configure and build it first)
#   BUILD_DIR=... COUNT=200 IM_COUNT=50 bench/image.sh   (the defaults)
#
# Needs ImageMagick (scripts/deps.sh --bench installs it). It is called as /usr/bin/convert on
# purpose: /usr/local/bin/convert can be something else entirely on a shared machine.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$repo/build}
count=${COUNT:-200}
im_count=${IM_COUNT:-50} # ImageMagick is slow; 50 pictures give a steady rate
convert=/usr/bin/convert

if [[ ! -x $convert ]]; then
    echo "ImageMagick is missing: apt-get install imagemagick (or scripts/deps.sh --bench)" >&2
    exit 1
fi
if [[ ! -f $build/build.ninja ]]; then
    echo "No build in $build: configure it first (see README)" >&2
    exit 1
fi
ninja -C "$build" fakemill-cli >/dev/null
cli=$build/cli/fakemill-cli

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
colour() { printf '#%02x%02x%02x' $((RANDOM % 256)) $((RANDOM % 256)) $((RANDOM % 256)); }
x() { echo $((RANDOM % 401)); }
y() { echo $((RANDOM % 321)); }

# The draw arguments of one picture: a background and 8 shapes of the same kinds as ours.
magick_args() {
    args=(-size 400x320 "xc:$(colour)")
    for _ in 1 2 3 4 5 6 7 8; do
        local pen=$((RANDOM % 7 + 1))
        case $((RANDOM % 8)) in
        0) args+=(-fill none -stroke "$(colour)" -strokewidth $pen -draw "line $(x),$(y) $(x),$(y)") ;;
        1) args+=(-fill none -stroke "$(colour)" -strokewidth $pen -draw "bezier $(x),$(y) $(x),$(y) $(x),$(y) $(x),$(y)") ;;
        2) args+=(-stroke none -fill "$(colour)" -draw "rectangle $(x),$(y) $(x),$(y)") ;;
        3) args+=(-stroke none -fill "$(colour)" -draw "ellipse $(x),$(y) $((RANDOM % 200)),$((RANDOM % 160)) 0,360") ;;
        4) args+=(-fill none -stroke "$(colour)" -strokewidth $pen -draw "ellipse $(x),$(y) $((RANDOM % 200)),$((RANDOM % 160)) 0,360") ;;
        5) args+=(-stroke none -fill "$(colour)" -draw "ellipse $(x),$(y) $((RANDOM % 200)),$((RANDOM % 160)) $((RANDOM % 360)),$((RANDOM % 360))") ;;
        6) args+=(-stroke none -fill "$(colour)" -draw "polygon $(x),$(y) $(x),$(y) $(x),$(y)") ;;
        *) args+=(-fill none -stroke "$(colour)" -strokewidth $pen -draw "polygon $(x),$(y) $(x),$(y) $(x),$(y) $(x),$(y)") ;;
        esac
    done
}

printf '%-5s %12s %12s %8s\n' format "ours/s" "magick/s" ratio
for format in png jpeg gif bmp; do
    "$cli" --config "$work/bench.ini" define --type img "$format" ImageType="$format" Width=400 Height=320 \
        Elements=8 Files="$count" SimpleName=1
    start=$(now)
    "$cli" --config "$work/bench.ini" generate --pace 0 -o "$work/ours-$format" "$format" >/dev/null
    ours=$(awk -v n="$count" -v a="$start" -v b="$(now)" 'BEGIN { print n / (b - a) }')

    mkdir -p "$work/magick-$format"
    start=$(now)
    for ((i = 0; i < im_count; i++)); do
        magick_args
        "$convert" "${args[@]}" "$work/magick-$format/img$i.$format"
    done
    magick=$(awk -v n="$im_count" -v a="$start" -v b="$(now)" 'BEGIN { print n / (b - a) }')

    awk -v f="$format" -v o="$ours" -v m="$magick" 'BEGIN { printf "%-5s %12.1f %12.1f %7.1fx\n", f, o, m, o / m }'
done
