# Sourced by the checks: a scratch folder, removed on exit, holding the home the program under
# test sees, so that it never reads or writes the user's own settings or configuration.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/home/.config XDG_DATA_HOME=$scratch/home/.local/share
unset FKMCONFIG
mkdir -p "$HOME"
