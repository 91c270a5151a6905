#!/usr/bin/env bash
# Text and CSV generation, side by side in one run, on a tmpfs folder:
#   CSV, 100,000 rows of month, word, number and date  vs  Faker writing the same four columns
#        with Python's csv module                       (target: at least 50 x Faker's rows/s)
#        Rows per second are those of the generators' own loops: Faker's loop is timed inside
#        Python, ours by bench/generator_rate, which runs the generator without the batch around
#        it. The whole command (process, worker, dispatcher) is shown beside them.
#   random-words text, 256 MiB                          vs  Faker's text() (8 MiB of it, timed inside
#        Python): throughput ratio
#   random-character text, 256 MiB                      vs  tr -dc of letters, digits and spaces from
#        /dev/urandom, 256 MiB: throughput ratio
# Each time is the median of RUNS runs (default 3).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$root"
build_targets fakemill-cli generator_rate
need_tools tr head

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

faker_text_bytes=$((8 * 1024 * 1024))
cat >"$work/faker_text.py" <<PY
import sys, time
from faker import Faker
fake = Faker()
start = time.perf_counter()
written = 0
with open(sys.argv[1], "w") as out:
    while written < $faker_text_bytes:
        text = fake.text(max_nb_chars=2000) + "\\n"
        out.write(text)
        written += len(text)
print("%.4f" % (time.perf_counter() - start))
PY

text_bytes=$((256 * 1024 * 1024))
tr_chars() { tr -dc 'A-Za-z0-9 ' </dev/urandom | head -c "$text_bytes" >"$work/tr.txt"; }
# MiB per second of a size in bytes and a time in seconds.
mib_per_second() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f", b / 1048576 / s }'; }

generate() { rm -rf "$work/out"; "$cli" --config "$config" generate --pace 0 -o "$work/out" "$1"; }

declare -a t_csv t_csv_loop t_faker t_words t_chars t_faker_text t_tr
for run in $(seq 1 "$runs"); do
    t_csv+=("$(seconds_of generate table)")
    rm -rf "$work/out" && mkdir -p "$work/out"
    t_csv_loop+=("$("$build/bench/generator_rate" "$config" table "$work/out" 2>/dev/null)")
    t_faker+=("$(/usr/bin/python3 "$work/faker_csv.py" "$work/faker.csv")")
    t_words+=("$(seconds_of generate words)")
    t_faker_text+=("$(/usr/bin/python3 "$work/faker_text.py" "$work/faker.txt")")
    t_chars+=("$(seconds_of generate chars)")
    t_tr+=("$(seconds_of tr_chars)")
done
rm -rf "$work/out"

csv=$(median "${t_csv[@]}"); csv_loop=$(median "${t_csv_loop[@]}"); faker=$(median "${t_faker[@]}")
words=$(median "${t_words[@]}"); chars=$(median "${t_chars[@]}")
faker_text=$(median "${t_faker_text[@]}"); tr_time=$(median "${t_tr[@]}")
words_rate=$(mib_per_second "$text_bytes" "$words"); faker_rate=$(mib_per_second "$faker_text_bytes" "$faker_text")
chars_rate=$(mib_per_second "$text_bytes" "$chars"); tr_rate=$(mib_per_second "$text_bytes" "$tr_time")
echo "CSV, $rows rows:           generator ${csv_loop}s, Faker's loop ${faker}s: $(ratio "$faker" "$csv_loop") x Faker's rows/s (target >= 50)"
echo "                           (the whole fakemill-cli generate command: ${csv}s)"
echo "random words:              ${words_rate} MiB/s (256 MiB in ${words}s), Faker's text() ${faker_rate} MiB/s: $(ratio "$words_rate" "$faker_rate") x"
echo "random characters:         ${chars_rate} MiB/s (256 MiB in ${chars}s), tr -dc from /dev/urandom ${tr_rate} MiB/s: $(ratio "$chars_rate" "$tr_rate") x"
