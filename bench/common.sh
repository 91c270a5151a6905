# Shared by the comparison scripts: builds what they need and times commands.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${FAKEMILL_BUILD:-$root/build}

build_targets() {
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    ninja -C "$build" "$@" >/dev/null
}

need_tools() {
    local tool
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "missing $tool: install the peers with scripts/deps.sh --bench" >&2
            exit 1
        fi
    done
}

# Seconds of wall time of one run of the command, its output thrown away.
seconds_of() {
    local start=$EPOCHREALTIME
    "$@" >/dev/null
    awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", b - a }'
}

# The best (smallest) of repeat runs.
best_of() {
    local repeat=$1 best="" t i
    shift
    for ((i = 0; i < repeat; i++)); do
        t=$(seconds_of "$@")
        if [[ -z "$best" ]] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then
            best=$t
        fi
    done
    echo "$best"
}

# The middle one of the values given.
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
