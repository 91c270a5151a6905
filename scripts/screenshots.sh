#!/usr/bin/env bash
# Takes PNG screenshots of the desktop program's real windows for the README (docs/screenshots/).
# It runs the program on a virtual display (Xvfb) with a small window manager, on a copy of the
# bundled example definitions in a throw-away home folder, and drives it with the keyboard.
#
#   scripts/screenshots.sh          all windows
#   scripts/screenshots.sh main     only the named shots
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$repo_root"

if [[ -z "${FAKEMILL_ON_VIRTUAL_DISPLAY:-}" ]]; then
    scripts/deps.sh --screenshots
    configure_plain_build
    ninja -C "$build_dir" fakemill fakemill-cli
    export FAKEMILL_ON_VIRTUAL_DISPLAY=1
    exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi

out="$repo_root/docs/screenshots"
mkdir -p "$out"
sandbox=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$sandbox"' EXIT
export HOME="$sandbox/home" XDG_CONFIG_HOME="$sandbox/home/.config" XDG_DATA_HOME="$sandbox/home/.local/share"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
cp examples/fakemill.ini "$sandbox/fakemill.ini"
export FKMCONFIG="$sandbox/fakemill.ini"

openbox >/dev/null 2>&1 &
sleep 0.5
"$build_dir/app/fakemill" >"$sandbox/fakemill.log" 2>&1 &
main=$(xdotool search --sync --onlyvisible --name '^Fakemill$' | head -n 1)
xdotool windowsize "$main" 620 420 windowmove "$main" 40 40
sleep 0.5

# A window's picture with its frame; the menus of a window are part of the screen, not the window.
shot_window() { import -frame -window "$1" "$out/$2.png"; echo "wrote docs/screenshots/$2.png"; }
shot_screen_area() { import -window root -crop "$1" "$out/$2.png"; echo "wrote docs/screenshots/$2.png"; }
wanted() {
    local name=$1
    shift
    [[ $# -eq 0 ]] || [[ " $* " == *" $name "* ]]
}
# Waits for a window whose title matches and answers its id.
await_window() { xdotool search --sync --onlyvisible --name "$1" | head -n 1; }

if wanted main "$@"; then
    xdotool windowactivate --sync "$main" key --clearmodifiers ctrl+Home shift+Down shift+Down
    sleep 0.3
    shot_window "$main" main-window
fi
if wanted menu "$@"; then
    xdotool windowactivate --sync "$main" key --clearmodifiers alt+g
    sleep 0.5
    shot_screen_area 700x480+30+30 generate-menu
    xdotool key Escape
fi
if wanted help "$@"; then
    xdotool windowactivate --sync "$main" key --clearmodifiers alt+h h
    help=$(await_window '^Fakemill Help$')
    sleep 0.3
    shot_window "$help" help-window
    xdotool windowclose "$help" 2>/dev/null || xdotool key --window "$help" alt+F4
fi
if wanted about "$@"; then
    xdotool windowactivate --sync "$main" key --clearmodifiers alt+h a
    about=$(await_window '^About Fakemill$')
    sleep 0.3
    shot_window "$about" about-dialog
    xdotool key --window "$about" Escape
fi
if wanted viewer "$@"; then
    # The viewer on the program itself: Tools > Binary Viewer, the file typed into the chooser.
    xdotool windowactivate --sync "$main" key --clearmodifiers alt+t b
    chooser=$(await_window '^Open$')
    sleep 0.5
    xdotool type --delay 5 "$build_dir/app/fakemill"
    xdotool key Return
    viewer=$(await_window '^Binary Viewer - ')
    xdotool windowsize "$viewer" 520 420 windowmove "$viewer" 80 60
    sleep 0.8
    xdotool mousemove --window "$viewer" 60 40
    sleep 0.3
    shot_window "$viewer" binary-viewer
    xdotool windowclose "$viewer" 2>/dev/null || xdotool key --window "$viewer" alt+F4
fi
if wanted wizard "$@"; then
    xdotool windowactivate --sync "$main" key --clearmodifiers alt+d a
    wizard=$(await_window '^Define new generation type$')
    sleep 0.5
    shot_window "$wizard" wizard-intro
    xdotool windowactivate --sync "$wizard" key --clearmodifiers alt+n
    sleep 0.5
    shot_window "$wizard" wizard-text
    # Alt+N is also the kind page's "&n" toggle: Return presses the default button, Next.
    xdotool windowactivate --sync "$wizard" key --clearmodifiers Return
    sleep 0.5
    shot_window "$wizard" wizard-summary
    xdotool windowactivate --sync "$wizard" key --clearmodifiers Escape
fi

xdotool windowactivate --sync "$main" key --clearmodifiers alt+f x 2>/dev/null || true
wait %2 2>/dev/null || true
