#!/usr/bin/env bash
# Drives the bash completion of fakemill-cli the way bash does (COMP_WORDS, COMP_CWORD) and
# checks what it offers against what the program itself accepts: its commands and options as
# its usage shows them, its --type kinds as define reports them, and the definition names of
# the configuration that --config or FKMCONFIG names.
#
#   check-completion.sh FAKEMILL_CLI COMPLETION_SCRIPT
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/usage-entries.sh"

bin=$(realpath "$1")
source "$here/scratch-home.sh"
# The completion runs the program by the name typed, as an installed one would be found.
mkdir -p "$scratch/bin"
ln -s "$bin" "$scratch/bin/fakemill-cli"
export PATH=$scratch/bin:$PATH
source "$2"

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Completes the words as typed (the last one is the word under the cursor); prints the offers
# one a line, sorted.
offers() {
    COMP_WORDS=(fakemill-cli "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _fakemill_cli
    ((${#COMPREPLY[@]} == 0)) || printf '%s\n' "${COMPREPLY[@]}" | sort
}

expect() {
    local description=$1 wanted=$2 got
    shift 2
    got=$(offers "$@")
    [[ $got == "$wanted" ]] || fail "$description: for '$*' offered [${got//$'\n'/, }], not [${wanted//$'\n'/, }]"
}

# Commands and options, from the program's own usage.
entries=$(usage_entries "$bin" | sort -u | tr '\t' '|')
commands=$(awk -F '|' '$1 != "" && $2 == "" { print $1 }' <<<"$entries" | sort)
[[ -n $commands ]] || fail "no command found in '$bin --help'"
expect "commands" "$commands" ""
while IFS='|' read -r command option choices; do
    [[ -n $option ]] || continue
    words=(${command:+"$command"})
    grep -qxF -- "$option" <<<"$(offers "${words[@]}" "${option:0:1}")" ||
        fail "${command:-global} option $option is not offered"
    if [[ -n $choices ]]; then
        expect "values of $command $option" "$(tr ' ' '\n' <<<"$choices" | sort)" "${words[@]}" "$option" ""
    fi
done <<<"$entries"

# The kinds define knows, as it lists them when it is given one it does not know.
kinds=$("$bin" --config "$scratch/kinds.ini" define --type no-such-kind X 2>&1 | sed -n 's/.*known kinds: //p')
[[ -n $kinds ]] || fail "define did not list its kinds"
expect "--type kinds" "$(tr ' ' '\n' <<<"$kinds" | sort)" define --type ""

# Definition names come from the configuration named on the line, even with a space in its
# path, typed quoted, escaped or after "=", and from FKMCONFIG without --config.
mkdir -p "$scratch/my tests"
config="$scratch/my tests/files.ini"
other="$scratch/other.ini"
if ! "$bin" --config "$config" define --type bin "Big binary" >/dev/null ||
    ! "$bin" --config "$config" define --type bin "Orders" >/dev/null ||
    ! "$bin" --config "$other" define --type bin "Elsewhere" >/dev/null; then
    fail "could not write the test configurations"
fi
escaped=${config// /\\ }
export FKMCONFIG=$other
expect "names, quoted --config" 'Big\ binary' --config "\"$config\"" show B
expect "names, --config=" $'Big\\ binary\nOrders' --config = "$escaped" generate ""
expect "names, FKMCONFIG" "Elsewhere" generate ""
expect "show takes one name" "" --config "$escaped" show "Orders" ""
expect "no names for a list" "" --config "$escaped" list ""
expect "no names after --type" "" --config "$escaped" generate --type bin ""
unset FKMCONFIG

# Files and folders where the command takes them.
mkdir -p "$scratch/work/out dir"
touch "$scratch/work/sample.bin"
cd "$scratch/work" || exit 1
expect "files for hash" "sample.bin" hash -a md5 sa
expect "folders for -o" "out dir" generate -o o

if ((failures > 0)); then
    echo "$failures completion check(s) failed" >&2
    exit 1
fi
echo "The bash completion offers the program's commands, options, values and definitions"
