# shellcheck shell=bash
# Sourced by the checks of the manual page and of the bash completion: what the program itself
# says it accepts. usage_entries BIN prints one line per command and per option:
#   COMMAND<TAB><TAB>               a command
#   COMMAND<TAB>OPTION<TAB>CHOICES  an option of COMMAND (COMMAND empty: a global option), with
#                                   its fixed values ("crc md5 sha1 sha256") when the usage lists them
# from `BIN --help`, and from `BIN COMMAND --help` where a command answers that with status 0
# (its -h and --help aside).
# Run it in a throw-away HOME: commands may make the first-run configuration.

usage_entries() {
    local bin=$1 entries command help
    entries=$("$bin" --help | awk '
        function bare(word) { gsub(/^[[(]+|[])]+$/, "", word); return word }
        /^ +fakemill-cli / {
            command = ""
            n = split($0, token, " ")
            for (i = 2; i <= n; i++) {
                word = bare(token[i])
                if (word ~ /^--?[A-Za-z]/) {
                    sub(/=.*/, "", word)
                    choices = ""
                    if (i < n && bare(token[i + 1]) ~ /^[a-z0-9]+(\|[a-z0-9]+)+$/) {
                        choices = bare(token[i + 1])
                        gsub(/\|/, " ", choices)
                    }
                    print command "\t" word "\t" choices
                } else if (command == "" && word ~ /^[a-z][a-z0-9-]*$/) {
                    command = word
                    print command "\t\t"
                }
            }
        }')
    printf '%s\n' "$entries"
    for command in $(awk -F '\t' '$1 != "" && $2 == "" { print $1 }' <<<"$entries"); do
        if help=$("$bin" "$command" --help 2>/dev/null); then
            # A usage line's options before the command, and -h and --help, are global ones.
            awk -v command="$command" '/fakemill-cli/ {
                    at = index($0, " " command)
                    if (at > 0) $0 = substr($0, at + length(command) + 1)
                } { print }' <<<"$help" |
                grep -oE '(^|[][ (,|])--?[A-Za-z][A-Za-z0-9-]*' | sed -E 's/^[][ (,|]//' |
                grep -vxE -- '-h|--help' | sed "s/^/$command\t/; s/\$/\t/" || true
        fi
    done
    return 0
}
