#!/usr/bin/env bash
# Fails when the manual page leaves out a command or an option that fakemill-cli's usage shows:
# every command needs a section "## COMMAND" naming each of its options, and the global options
# belong in "# OPTIONS".
#
#   check-manual.sh FAKEMILL_CLI MANUAL.scd
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/usage-entries.sh"

bin=$(realpath "$1")
manual=$(realpath "$2")
source "$here/scratch-home.sh"

# The lines of the manual's section for COMMAND ("## COMMAND" up to the next heading), or of
# "# OPTIONS" for the global options.
section() {
    local command=$1 file=$2
    if [[ -z $command ]]; then
        awk '/^# / { inside = ($0 == "# OPTIONS") } inside' "$file"
    else
        awk -v heading="## $command" '/^#/ { inside = ($0 == heading) } inside' "$file"
    fi
}

# Prints what FILE misses of ENTRIES (usage_entries' lines); true when nothing is missing.
missing_from() {
    local entries=$1 file=$2 command option text missing=0
    # Tabs would be read as white space, which merges the empty command field away.
    while IFS='|' read -r command option _; do
        text=$(section "$command" "$file")
        if [[ -z $option ]]; then
            if [[ -z $text ]]; then
                echo "missing: the command '$command' has no section '## $command'"
                missing=1
            fi
        elif ! grep -qE -- "(^|[^A-Za-z0-9-])${option}([^A-Za-z0-9-]|\$)" <<<"$text"; then
            echo "missing: ${command:-the global option} $option"
            missing=1
        fi
    done < <(sort -u <<<"$entries" | tr '\t' '|')
    return $missing
}

entries=$(usage_entries "$bin")
if ! missing_from "$entries" "$manual"; then
    echo "FAIL: $manual does not describe all that '$bin --help' shows" >&2
    exit 1
fi

# The check itself must see a gap: a manual without one of the options, and a program whose
# command help shows an option the manual does not know.
sed '/^## hexdump$/,/^#/ { /--width/d }' "$manual" >"$scratch/without-width.scd"
if missing_from "$entries" "$scratch/without-width.scd" >/dev/null; then
    echo "FAIL: the check did not notice a manual without hexdump's --width" >&2
    exit 1
fi
cat >"$scratch/fakemill-cli" <<EOF
#!/usr/bin/env bash
if [[ \$# -eq 2 && \$2 == --help ]]; then
    [[ \$1 == crc ]] || exit 2
    echo "Usage: fakemill-cli crc [--trailer] [--brand-new] FILE ..."
    exit 0
fi
exec "$bin" "\$@"
EOF
chmod +x "$scratch/fakemill-cli"
if ! grep -q -- 'crc --brand-new' <<<"$(missing_from "$(usage_entries "$scratch/fakemill-cli")" "$manual" || true)"; then
    echo "FAIL: the check did not read a command's own --help" >&2
    exit 1
fi
echo "The manual page covers every command and option of the usage"
