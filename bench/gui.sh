#!/usr/bin/env bash
# The desktop program, offscreen, side by side with the command line on the same files:
# - start-up to the main window shown and filled with 1,000 definitions of all four kinds (median
#   of 5 whole processes) against `fakemill-cli list` of the same file, and its peak memory;
# - reloading 10,000 definitions against 1,000 (one parse of the file each);
# - a CSV of 200,000 rows (a log line per row into its batch window) and 1 GiB of binary, each
#   generated through the desktop program and through `fakemill-cli generate`, with the longest
#   stall of the GUI thread and the peak memory;
# - the exit: from the main window's close, after a batch and a hash calculator did their work, to
#   the process's end (median of 5).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
build_targets gui_driver fakemill-cli
driver="$build/bench/gui_driver"
cli="$build/cli/fakemill-cli"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data"
export QT_QPA_PLATFORM=offscreen
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
out_dir=${BENCH_OUT:-/dev/shm/fakemill-gui-bench}

# N definitions, the four kinds in turn.
make_config() {
    awk -v n="$1" 'BEGIN {
        for (i = 0; i < n; i++) {
            k = i % 4
            if (k == 0) printf "[bin %d]\nType=bin\nSize=4KB,64KB\nFiles=1,3\n", i
            if (k == 1) printf "[txt %d]\nType=txt\nTextType=2\nSize=8KB\nFiles=2\n", i
            if (k == 2) printf "[csv %d]\nType=csv\nColumns=1,3,4\nRows=100\n", i
            if (k == 3) printf "[img %d]\nType=img\nImageType=png\nWidth=64,320\n", i
        }
    }' > "$2"
}
make_config 1000 "$work/d1000.ini"
make_config 10000 "$work/d10000.ini"

echo "== Start-up with 1,000 definitions (median of 5)"
gui_runs=() cli_runs=()
for _ in 1 2 3 4 5; do
    gui_runs+=("$(FKMCONFIG="$work/d1000.ini" seconds_of "$driver" startup)")
    cli_runs+=("$(seconds_of "$cli" --config "$work/d1000.ini" list)")
done
gui=$(median "${gui_runs[@]}")
cli_time=$(median "${cli_runs[@]}")
peak=$(FKMCONFIG="$work/d1000.ini" "$driver" startup | awk '/peak_kib/ { printf "%.1f", $2 / 1024 }')
echo "desktop program: ${gui} s (target at most 0.5 s), fakemill-cli list: ${cli_time} s, ratio $(ratio "$gui" "$cli_time")"
echo "peak resident memory with 1,000 definitions: ${peak} MiB (target at most 80)"

echo "== Reload: 10,000 definitions against 1,000"
# One process reloads the two files in turn, so that each ratio is taken within a fraction of a
# second; the median of three such processes.
r1_runs=() r10_runs=() ratio_runs=()
for _ in 1 2 3; do
    "$driver" reload "$work/d1000.ini" "$work/d10000.ini" > "$work/reload.txt"
    r1_runs+=("$(awk '/small_seconds/ { print $2 }' "$work/reload.txt")")
    r10_runs+=("$(awk '/large_seconds/ { print $2 }' "$work/reload.txt")")
    ratio_runs+=("$(awk '/^ratio/ { print $2 }' "$work/reload.txt")")
done
r1=$(median "${r1_runs[@]}")
r10=$(median "${r10_runs[@]}")
reload_ratio=$(median "${ratio_runs[@]}")
echo "1,000: ${r1} s, 10,000: ${r10} s, ratio ${reload_ratio} (target at most 10.5)"

cat > "$work/generate.ini" <<'INI'
[Rows]
Type=csv
Columns=1,3,4,5
Rows=200000
Files=1
Folder=csv
[Small]
Type=bin
Size=64KB
Files=3
Folder=small
[Gigabyte]
Type=bin
Size=1GB
Files=1
Folder=bin
INI
run_generate() { # NAME: desktop seconds, stall and memory; then the command line's seconds
    local name=$1
    rm -rf "$out_dir"; mkdir -p "$out_dir"
    FKMCONFIG="$work/generate.ini" "$driver" generate "$name" "$out_dir" > "$work/gui.txt"
    rm -rf "$out_dir"; mkdir -p "$out_dir"
    local cli_seconds
    cli_seconds=$(seconds_of "$cli" --config "$work/generate.ini" generate --pace 0 -o "$out_dir" "$name")
    rm -rf "$out_dir"
    local gui_seconds stall lines peak_mib
    gui_seconds=$(awk '/^seconds/ { print $2 }' "$work/gui.txt")
    stall=$(awk '/longest_stall_ms/ { print $2 }' "$work/gui.txt")
    lines=$(awk '/window_lines/ { print $2 }' "$work/gui.txt")
    peak_mib=$(awk '/peak_kib/ { printf "%.1f", $2 / 1024 }' "$work/gui.txt")
    echo "desktop program: ${gui_seconds} s, fakemill-cli: ${cli_seconds} s, time ratio $(ratio "$gui_seconds" "$cli_seconds")"
    echo "  longest GUI stall ${stall} ms, ${lines} lines in the window, peak memory ${peak_mib} MiB"
}
echo "== CSV of 200,000 rows (target: at most 1.5 x the command line's time, stalls under 100 ms, under 100 MiB)"
run_generate Rows
echo "== 1 GiB of binary into $out_dir (target: at least 0.9 x the command line's throughput, i.e. time ratio at most 1.11)"
run_generate Gigabyte

echo "== Exit: from the main window's close to the process's end, after a batch and a hash (median of 5)"
exit_runs=()
for _ in 1 2 3 4 5; do
    rm -rf "$out_dir"; mkdir -p "$out_dir"
    FKMCONFIG="$work/generate.ini" "$driver" exit Small "$out_dir" > "$work/exit.txt"
    ended=$EPOCHREALTIME
    closing=$(awk '/closing_epoch/ { print $2 }' "$work/exit.txt")
    exit_runs+=("$(awk -v a="$closing" -v b="$ended" 'BEGIN { printf "%.3f", b - a }')")
done
rm -rf "$out_dir"
exit_seconds=$(median "${exit_runs[@]}")
echo "exit: ${exit_seconds} s (target at most 0.3 s)"
