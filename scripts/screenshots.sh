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
    ninja -C "$build_dir" fakemill fakemill-cli fakemill-hold
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
# The exerciser's hold helper of this build (an installed program finds it beside itself).
export FAKEMILL_HOLD_HELPER="$build_dir/helper/fakemill-hold"
# Generate into a fixed folder, so that no folder chooser interrupts the batch shots.
mkdir -p "$XDG_CONFIG_HOME/Kestrune" "$sandbox/out"
printf '[General]\ngeneratorprompt=1\ngeneratorpath=%s\nhashtype=3\n' "$sandbox/out" \
    >"$XDG_CONFIG_HOME/Kestrune/Fakemill.conf"
# Files for the tool windows, and SHA256 as the calculator's algorithm.
mkdir -p "$sandbox/files"
printf '123456789' >"$sandbox/files/check.txt"
head -c 300000 /dev/urandom >"$sandbox/files/random.bin"
cp examples/fakemill.ini "$sandbox/files/definitions.ini"
mkfifo "$sandbox/files/pipe"
# A checksum file for Verify, made before one of its files changes.
printf 'soon gone' >"$sandbox/files/gone.txt"
(cd "$sandbox/files" && sha256sum check.txt random.bin definitions.ini gone.txt >SHA256SUMS)
printf 'changed' >>"$sandbox/files/definitions.ini"
rm "$sandbox/files/gone.txt"

openbox >/dev/null 2>&1 &
sleep 0.5
"$build_dir/program/fakemill" >"$sandbox/fakemill.log" 2>&1 &
main=$(xdotool search --sync --onlyvisible --name '^Fakemill$' | head -n 1)
# At the size it opens with: the shot shows what a first look shows.
xdotool windowmove "$main" 40 40
sleep 0.5
# The list takes the keys below only once it has the focus: a click on its first row gives it.
xdotool mousemove 120 85 click 1 mousemove 700 700
sleep 0.3

# A window's picture with its frame; the menus of a window are part of the screen, not the window.
shot_window() { import -frame -window "$1" "$out/$2.png"; echo "wrote docs/screenshots/$2.png"; }
shot_screen_area() { import -window root -crop "$1" "$out/$2.png"; echo "wrote docs/screenshots/$2.png"; }
# True when no shot was named on the command line, or when this one was.
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
if wanted output "$@"; then
    xdotool windowactivate --sync "$main" key --clearmodifiers ctrl+Home shift+Down shift+Down
    # Ctrl moves the current row without selecting; Ctrl+Space adds it to the three.
    xdotool key --clearmodifiers ctrl+End ctrl+Up ctrl+Up ctrl+Up ctrl+Up ctrl+Up ctrl+space
    xdotool key --clearmodifiers alt+g s
    output=$(await_window "total) started")
    sleep 3
    xdotool windowmove "$output" 900 40
    sleep 0.5
    shot_window "$output" batch-output-window
fi
if wanted history "$@"; then
    xdotool windowactivate --sync "$main" key --clearmodifiers alt+g h
    history=$(await_window '^Generator History$')
    sleep 0.3
    xdotool windowactivate --sync "$history" key --clearmodifiers Tab Down
    sleep 0.3
    shot_window "$history" history-dialog
    xdotool windowactivate --sync "$history" key --clearmodifiers Escape 2>/dev/null || true
fi
if wanted help "$@"; then
    xdotool windowactivate --sync "$main" key --clearmodifiers alt+h h
    help=$(await_window '^Fakemill Help$')
    sleep 0.3
    shot_window "$help" help-window
    xdotool windowclose "$help" 2>/dev/null || xdotool windowactivate --sync "$help" key --clearmodifiers alt+F4 2>/dev/null || true
fi
if wanted about "$@"; then
    xdotool windowactivate --sync "$main" key --clearmodifiers alt+h a
    about=$(await_window '^About Fakemill$')
    sleep 0.3
    shot_window "$about" about-dialog
    xdotool windowactivate --sync "$about" key --clearmodifiers Escape 2>/dev/null || true
fi
# Picks files in an open-file dialog that a tool window shows (its title given): their paths typed
# into its name field, then Open.
pick_files() {
    local dialog
    dialog=$(await_window "$1")
    sleep 0.3
    xdotool windowactivate --sync "$dialog" type --delay 5 "$2"
    xdotool key --clearmodifiers alt+o
    sleep 0.5
}
files_typed="\"$sandbox/files/check.txt\" \"$sandbox/files/random.bin\" \"$sandbox/files/definitions.ini\""
if wanted hash "$@"; then
    xdotool windowactivate --sync "$main" key --clearmodifiers alt+t c
    hash=$(await_window '^Calculate Hash$')
    xdotool windowmove "$hash" 60 100
    sleep 0.3
    xdotool windowactivate --sync "$hash" key --clearmodifiers alt+b
    pick_files '^Open$' "$files_typed \"$sandbox/files/pipe\""
    xdotool windowactivate --sync "$hash" key --clearmodifiers alt+v
    pick_files '^Verify checksums$' "$sandbox/files/SHA256SUMS"
    sleep 0.5
    shot_window "$hash" hash-calculator
    xdotool windowactivate --sync "$hash" key --clearmodifiers Escape
fi
if wanted exerciser "$@"; then
    xdotool windowactivate --sync "$main" key --clearmodifiers alt+t x
    exerciser=$(await_window '^Fakemill: File Exerciser$')
    xdotool windowmove "$exerciser" 80 120
    sleep 0.3
    xdotool windowactivate --sync "$exerciser" key --clearmodifiers alt+f
    pick_files '^Open$' "$files_typed"
    shot_window "$exerciser" file-exerciser
    xdotool windowactivate --sync "$exerciser" key --clearmodifiers alt+s
    sleep 1
    shot_window "$exerciser" file-exerciser-running
    # Stop: the log stays, with the run's closing lines.
    xdotool windowactivate --sync "$exerciser" key --clearmodifiers alt+t
    sleep 1
    shot_window "$exerciser" file-exerciser-stopped
    xdotool windowactivate --sync "$exerciser" key --clearmodifiers Escape
fi
if wanted viewer "$@"; then
    # The viewer on the program itself: Tools > Binary Viewer, the file typed into the chooser.
    xdotool windowactivate --sync "$main" key --clearmodifiers alt+t b
    chooser=$(await_window '^Open$')
    sleep 0.5
    xdotool type --delay 5 "$build_dir/program/fakemill"
    xdotool key Return
    viewer=$(await_window '^Binary Viewer - ')
    xdotool windowsize "$viewer" 520 420 windowmove "$viewer" 80 60
    sleep 0.8
    xdotool mousemove --window "$viewer" 60 40
    sleep 0.3
    shot_window "$viewer" binary-viewer
    xdotool windowclose "$viewer" 2>/dev/null || xdotool windowactivate --sync "$viewer" key --clearmodifiers alt+F4 2>/dev/null || true
fi
if wanted wizard "$@"; then
    xdotool windowactivate --sync "$main" key --clearmodifiers alt+d a
    wizard=$(await_window '^New definition$')
    sleep 0.5
    shot_window "$wizard" wizard-intro
    xdotool windowactivate --sync "$wizard" key --clearmodifiers alt+n
    sleep 0.5
    shot_window "$wizard" wizard-text
    xdotool windowactivate --sync "$wizard" key --clearmodifiers alt+n
    sleep 0.5
    shot_window "$wizard" wizard-summary
    # Back to the first page, CSV as the kind (the list's first entry starting with C), Next.
    xdotool windowactivate --sync "$wizard" key --clearmodifiers alt+b
    sleep 0.3
    xdotool key --clearmodifiers Tab c alt+n
    sleep 0.5
    shot_window "$wizard" wizard-csv
    xdotool windowactivate --sync "$wizard" key --clearmodifiers Escape
fi
if wanted options "$@"; then
    xdotool windowactivate --sync "$main" key --clearmodifiers alt+g o
    options=$(await_window '^Fakemill - Options$')
    sleep 0.3
    shot_window "$options" options-dialog
    xdotool windowactivate --sync "$options" key --clearmodifiers Escape
fi
if wanted addmultiple "$@"; then
    # The examples' own definitions offered again: every name is already here; the first ticked.
    xdotool windowactivate --sync "$main" key --clearmodifiers alt+d u
    pick_files '^Add definitions from$' "$sandbox/files/definitions.ini"
    adding=$(await_window '^Add Definitions$')
    sleep 0.3
    xdotool windowactivate --sync "$adding" key --clearmodifiers Down Up space
    sleep 0.3
    shot_window "$adding" add-multiple
    xdotool windowactivate --sync "$adding" key --clearmodifiers Escape
fi

xdotool windowactivate --sync "$main" key --clearmodifiers alt+f x 2>/dev/null || true
wait %2 2>/dev/null || true

if wanted empty "$@"; then
    # The first run of a new user: no configuration yet, so an empty list that says what to do.
    export HOME="$sandbox/newcomer" XDG_CONFIG_HOME="$sandbox/newcomer/.config"
    export XDG_DATA_HOME="$sandbox/newcomer/.local/share"
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
    unset FKMCONFIG
    "$build_dir/program/fakemill" >"$sandbox/first-run.log" 2>&1 &
    first=$(xdotool search --sync --onlyvisible --name '^Fakemill$' | head -n 1)
    xdotool windowmove "$first" 40 40
    sleep 0.8
    shot_window "$first" empty-first-run
    xdotool windowactivate --sync "$first" key --clearmodifiers alt+f x 2>/dev/null || true
    wait %3 2>/dev/null || true
fi
