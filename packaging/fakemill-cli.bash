# bash completion for fakemill-cli                                   -*- shell-script -*-
#
# Completes commands, options, the fixed values of --type, -a and --mode, file and folder
# arguments, and definition names, which it reads with `fakemill-cli list` from the
# configuration the command line names with --config (otherwise the program's own choice:
# FKMCONFIG, then the recorded file).

# One word as the shell will pass it: quotes and backslashes taken away, a leading ~ expanded.
_fakemill_cli_unquote() {
    local word=$1
    case $word in
    \'*) word=${word#\'} word=${word%\'} ;;
    \"*) word=${word#\"} word=${word%\"} ;;
    *) word=$(sed 's/\\\(.\)/\1/g' <<<"$word") ;;
    esac
    [[ $word == \~/* ]] && word=$HOME/${word#\~/}
    printf '%s' "$word"
}

# COMPREPLY: the definitions of the configuration ($1, may be empty) that start with $2, escaped.
_fakemill_cli_definitions() {
    local config=$1 prefix name program
    local -a args=()
    program=$(_fakemill_cli_unquote "${COMP_WORDS[0]}")
    [[ -n $config ]] && args=(--config "$config")
    prefix=$(_fakemill_cli_unquote "$2")
    while IFS= read -r name; do
        [[ -n $name && $name == "$prefix"* ]] && COMPREPLY+=("$(printf '%q' "$name")")
    done < <("$program" "${args[@]}" list 2>/dev/null | tail -n +2 | cut -f 1)
}

_fakemill_cli_files() {
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen "$1" -- "$2")
}

_fakemill_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev="" word config="" command="" i
    local -a options=()
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    # "--option=value" reaches us as three words: --option, =, value.
    if [[ $cur == "=" ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 1]} cur=""
    elif [[ $prev == "=" ]] && ((COMP_CWORD > 1)); then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi
    COMPREPLY=()

    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $word == --config ]]; then
            [[ ${COMP_WORDS[i + 1]} == "=" ]] && ((i++))
            ((i + 1 < COMP_CWORD)) && config=$(_fakemill_cli_unquote "${COMP_WORDS[i + 1]}")
            ((i++))
        elif [[ $word != -* ]]; then
            command=$word
            break
        fi
    done

    case $prev in
    --config) _fakemill_cli_files -f "$cur" && return ;;
    --type) mapfile -t COMPREPLY < <(compgen -W "txt csv bin img" -- "$cur") && return ;;
    -a | --algorithm) mapfile -t COMPREPLY < <(compgen -W "crc md5 sha1 sha256" -- "$cur") && return ;;
    --mode) mapfile -t COMPREPLY < <(compgen -W "all fixed rotate" -- "$cur") && return ;;
    --deny) mapfile -t COMPREPLY < <(compgen -W "kernel permissions lock" -- "$cur") && return ;;
    -o | --output) _fakemill_cli_files -d "$cur" && return ;;
    --pace | --seed | --jobs | --shard | --sep | --offset | --length | --width | --seconds) return ;;
    esac

    case $command in
    "") options=(--config --help --version) ;;
    list) options=(--json) ;;
    show) options=(--json) ;;
    define) options=(--type --replace) ;;
    generate) options=(-o --output --type --pace --seed --jobs --shard --manifest --json -v --verbose -q --quiet --all) ;;
    verify) options=(--ignore-extra --json) ;;
    hash) options=(-a --algorithm --copy --prefix-0x --lower --path --sep) ;;
    crc) options=(--trailer) ;;
    hexdump) options=(--offset --length --width) ;;
    exercise) options=(--mode --deny --fail-reads --seconds --restore) ;;
    *) return ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "${options[*]}" -- "$cur")
        return
    fi
    [[ $command == list ]] && return

    case $command in
    "") mapfile -t COMPREPLY < <(compgen -W "list show define generate verify hash crc hexdump exercise" -- "$cur") ;;
    show)
        # One name only.
        local words=0
        for ((i = i + 1; i < COMP_CWORD; i++)); do
            [[ ${COMP_WORDS[i]} != -* ]] && ((words++))
        done
        ((words == 0)) && _fakemill_cli_definitions "$config" "$cur"
        ;;
    generate)
        # With --type the words are KEY=VALUE pairs, not definition names.
        for ((i = i + 1; i < COMP_CWORD; i++)); do
            [[ ${COMP_WORDS[i]} == --type ]] && return
        done
        _fakemill_cli_definitions "$config" "$cur"
        ;;
    verify) _fakemill_cli_files -f "$cur" ;;
    hash | crc | hexdump | exercise) _fakemill_cli_files -f "$cur" ;;
    esac
} && complete -F _fakemill_cli fakemill-cli
