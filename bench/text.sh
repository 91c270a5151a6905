#!/usr/bin/env bash
# Text and CSV generation, side by side in one run, on a tmpfs folder:
#   CSV, 100,000 rows of month, word, number and date  vs  Faker writing the same four columns
#        with Python's csv module                       (target: at least 50 x Faker's rows/s)
#        Rows per second are those of the generators' own loops: Faker's loop is timed inside
#        Python, ours by bench/generator_rate, which runs the generator without the batch around
#        it. The whole command (process, worker, dispatcher) is shown beside them.
#   random-words text and random-character text, 256 MiB each  vs  the binary generator on the
#        same size                                      (target: at least 0.3 x its throughput)
# Each time is the median of RUNS runs (default 3).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$root"
build_targets fakemill-cli generator_rate

cli="$build/cli/fakemill-cli"
runs=${RUNS:-3}
rows=100000
if ! /usr/bin/python3 -c 'import faker' 2>/dev/null; then
    echo "Faker is missing: apt-get install python3-fake-factory (or scripts/deps.sh --bench)" >&2
    exit 1
fi
work=$(mktemp -d /dev/shm/fakemill-text.XXXXXX)
trap 'rm -rf "$work"' EXIT

config="$work/bench.ini"
"$cli" --config "$config" define --type csv table Columns=1,3,4,5 Rows=$rows SimpleName=1
"$cli" --config "$config" define --type txt words TextType=2 Size=256MB SimpleName=1
"$cli" --config "$config" define --type txt chars TextType=1 Size=256MB SimpleName=1
"$cli" --config "$config" define --type bin binary Size=256MB SimpleName=1

cat >"$work/faker_csv.py" <<PY
import csv, sys, time
from faker import Faker
fake = Faker()
start = time.perf_counter()
with open(sys.argv[1], "w", newline="") as out:
    writer = csv.writer(out)
    for _ in range($rows):
        writer.writerow([fake.month_name()[:3], fake.word(), fake.random_int(0, 32767),
                         fake.date_time().strftime("%d %b %Y %H:%M:%S")])
print("%.4f" % (time.perf_counter() - start))
PY

generate() { rm -rf "$work/out"; "$cli" --config "$config" generate --pace 0 -o "$work/out" "$1"; }

declare -a t_csv t_csv_loop t_faker t_words t_chars t_binary
for run in $(seq 1 "$runs"); do
    t_csv+=("$(seconds_of generate table)")
    rm -rf "$work/out" && mkdir -p "$work/out"
    t_csv_loop+=("$("$build/bench/generator_rate" "$config" table "$work/out" 2>/dev/null)")
    t_faker+=("$(/usr/bin/python3 "$work/faker_csv.py" "$work/faker.csv")")
    t_words+=("$(seconds_of generate words)")
    t_chars+=("$(seconds_of generate chars)")
    t_binary+=("$(seconds_of generate binary)")
done
rm -rf "$work/out"

csv=$(median "${t_csv[@]}"); csv_loop=$(median "${t_csv_loop[@]}"); faker=$(median "${t_faker[@]}")
words=$(median "${t_words[@]}"); chars=$(median "${t_chars[@]}"); binary=$(median "${t_binary[@]}")
echo "CSV, $rows rows:           generator ${csv_loop}s, Faker's loop ${faker}s: $(ratio "$faker" "$csv_loop") x Faker's rows/s (target >= 50)"
echo "                           (the whole fakemill-cli generate command: ${csv}s)"
echo "256 MiB random words:      ${words}s: $(ratio "$binary" "$words") x the binary generator (target >= 0.3)"
echo "256 MiB random characters: ${chars}s: $(ratio "$binary" "$chars") x the binary generator (target >= 0.3)"
echo "256 MiB binary:            ${binary}s"
