#!/usr/bin/env bash
# What damage costs: 1,000 seeded PNG pictures generated with every file damaged (each a class
# of PNG's own or a common one, the whole file held and changed on its way to the disk) against
# the same 1,000 undamaged, in one run. The two runs alternate, ROUNDS times, and the medians are
# compared, so that the machine's drift cancels out; the processor time (user and system) is
# compared besides the wall time, since it hardly depends on what else the machine runs. The
# budget: damage costs at most 5 % of the generation time, a ratio of at most 1.05.
#
#   bench/damage.sh                 uses ./build (FAKEMILL_BUILD=... for another)
#   COUNT=1000 ROUNDS=7 bench/damage.sh   (the defaults)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

count=${COUNT:-1000}
rounds=${ROUNDS:-7}
build_targets fakemill-cli
cli=$build/cli/fakemill-cli

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# One definition name in two configuration files: the seed mixes in the name, so both runs draw
# the same pictures, and only the damage differs.
common=(ImageType=png "Files=$count" Width=64,320 Height=48,240 Elements=4,12)
"$cli" --config "$work/plain.ini" define --type img pictures "${common[@]}"
"$cli" --config "$work/damaged.ini" define --type img pictures "${common[@]}" \
    Damage=crc,length,dimensions,no-iend,bad-signature,truncate,flip,zero,empty

run() {
    rm -rf "$work/out"
    "$cli" --config "$work/$1.ini" generate --pace 0 --seed 7 --jobs 1 -q -o "$work/out" pictures
}

# Wall and processor seconds of one run, as "wall cpu".
timed() {
    local TIMEFORMAT='%R %U %S'
    { time run "$1" >/dev/null 2>&1; } 2>&1 | awk '{ printf "%.3f %.3f", $1, $2 + $3 }'
}

wall_plain=()
wall_damaged=()
cpu_plain=()
cpu_damaged=()
for ((round = 0; round < rounds; round++)); do
    read -r wall cpu <<<"$(timed plain)"
    wall_plain+=("$wall")
    cpu_plain+=("$cpu")
    read -r wall cpu <<<"$(timed damaged)"
    wall_damaged+=("$wall")
    cpu_damaged+=("$cpu")
done
echo "$count PNG pictures, one job, median of $rounds alternating runs"
printf '%-11s %10s %10s\n' "" "wall s" "cpu s"
printf '%-11s %10.3f %10.3f\n' undamaged "$(median "${wall_plain[@]}")" "$(median "${cpu_plain[@]}")"
printf '%-11s %10.3f %10.3f\n' damaged "$(median "${wall_damaged[@]}")" "$(median "${cpu_damaged[@]}")"
echo "damaged / undamaged, wall: $(ratio "$(median "${wall_damaged[@]}")" "$(median "${wall_plain[@]}")")," \
    "processor: $(ratio "$(median "${cpu_damaged[@]}")" "$(median "${cpu_plain[@]}")") (budget 1.05)"
