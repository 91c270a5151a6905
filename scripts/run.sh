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
gui="$build_dir/app/fakemill"

if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && -x "$gui" ]]; then
    exec "$gui"
fi

"$cli" --help
echo
echo "CRC-32 and SHA256 of the README:"
"$cli" hash --path README.md
"$cli" hash -a sha256 --path README.md
