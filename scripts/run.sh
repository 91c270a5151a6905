#!/usr/bin/env bash
# Builds Fakemill and runs it: the GUI when a display is present, otherwise the command-line
# front end on the bundled examples.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$repo_root"

scripts/deps.sh
configure_plain_build
ninja -C "$build_dir"

cli="$build_dir/cli/fakemill-cli"
gui="$build_dir/program/fakemill"
# The file exerciser's hold helper of this build (installed programs find it beside them).
export FAKEMILL_HOLD_HELPER="$build_dir/helper/fakemill-hold"

if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && -x "$gui" ]]; then
    # The desktop program works on a copy of the examples, so that the repository's file stays
    # as it is; the copy (and what you add to it) is kept for the next run.
    config="$repo_root/out/desktop/fakemill.ini"
    if [[ ! -f "$config" ]]; then
        mkdir -p "$(dirname "$config")"
        cp examples/fakemill.ini "$config"
    fi
    echo "Opening Fakemill on $config"
    FKMCONFIG="$config" exec "$gui"
fi

"$cli" --help
echo
echo "== Generating the example definitions of examples/fakemill.ini into ./out"
out="$repo_root/out"
"$cli" --config examples/fakemill.ini generate -o "$out" --all
echo
echo "== What was made"
(cd "$out" && find . -type f -printf '%P\t%s bytes\n' | sort)
echo
echo "== CRC trailers of the files with one"
"$cli" crc --trailer "$out"/binary/crc*.bin
