#!/usr/bin/env bash
# Checks a built Debian package the way a user meets it: unpacked into a temporary root, the
# installed fakemill-cli makes the bundled examples and tells the package's version, man renders
# the manual pages, the programs carry Debian's hardening, lintian finds no error and no hardening
# tag, and the desktop entry and AppStream metadata validate.
#
#   check-package.sh fakemill_<version>_amd64.deb BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
deb=$(realpath "$1")
build_dir=$(realpath "$2")
source "$here/scratch-home.sh"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
# The programs and share/ files, nothing else: no libraries, tests or benchmarks.
stray=$(find "$root" -type f -printf '%P\n' | grep -vE '^usr/(bin/fakemill(-cli|-hold)?|share/.+)$' || true)
if [[ -n $stray ]]; then
    echo "FAIL: the package holds files it should not:" >&2
    echo "$stray" >&2
    exit 1
fi
cli=$root/usr/bin/fakemill-cli
share=$root/usr/share
has_gui=false
[[ -x $root/usr/bin/fakemill ]] && has_gui=true

echo "-- the installed fakemill-cli on the bundled examples"
examples=$share/doc/fakemill/examples/fakemill.ini
version=$(dpkg-deb -f "$deb" Version)
if [[ $("$cli" --version) != "fakemill-cli $version" ]]; then
    echo "FAIL: '$("$cli" --version)' is not the package's version $version" >&2
    exit 1
fi
echo "fakemill-cli $version"
definitions=$(grep -c '^\[' "$examples")
"$cli" --config "$examples" generate --seed 1 -o "$scratch/out" --all >"$scratch/generate.log"
made=$(find "$scratch/out" -type f | wc -l)
if ((made < definitions)); then
    echo "FAIL: $definitions example definitions made only $made files" >&2
    exit 1
fi
"$cli" crc --trailer "$scratch"/out/binary/crc*.bin
echo "$made files from $definitions definitions"

echo "-- manual pages"
pages=(fakemill-cli fakemill-hold)
$has_gui && pages+=(fakemill)
for page in "${pages[@]}"; do
    file=$share/man/man1/$page.1.gz
    # man -l prints groff's complaints about the page on stderr; there must be none.
    text=$(MANWIDTH=80 man --warnings -l "$file" 2>"$scratch/man.err")
    if [[ -s $scratch/man.err ]] || ! grep -q "^NAME" <<<"$text" || ! grep -q "^ *$page - " <<<"$text"; then
        echo "FAIL: man -l $file" >&2
        cat "$scratch/man.err" >&2
        exit 1
    fi
    echo "$page(1): $(wc -l <<<"$text") lines"
done

echo "-- hardening"
# What dpkg-buildflags asks for: a position-independent program, stack protector, fortified
# functions, read-only relocations and immediate binding. Control-flow protection is not asked
# for: Debian 12's C start files (Scrt1.o, crti.o) carry no CET marking, so no program linked
# on it can carry one (/usr/bin/ls fails that check too).
for program in "$root"/usr/bin/*; do
    if ! hardening-check --nocfprotection "$program"; then
        echo "FAIL: $program lacks hardening" >&2
        exit 1
    fi
done
if [[ $(dpkg-deb -f "$deb" Recommends) != *bash-completion* ]]; then
    echo "FAIL: the package does not recommend bash-completion" >&2
    exit 1
fi

echo "-- lintian"
status=0
lintian -I --pedantic --fail-on error "$deb" >"$scratch/lintian.txt" 2>&1 || status=$?
grep -E '^[EW]: ' "$scratch/lintian.txt" || echo "(no errors, no warnings)"
if ((status != 0)); then
    echo "FAIL: lintian reports errors (status $status)" >&2
    exit 1
fi
if grep -E '^[EWIP]: .*hardening-' "$scratch/lintian.txt"; then
    echo "FAIL: lintian reports missing hardening" >&2
    exit 1
fi

echo "-- desktop entry and AppStream metadata"
if $has_gui; then
    desktop-file-validate "$share/applications/fakemill.desktop"
    appstreamcli validate --no-net "$share"/metainfo/*.metainfo.xml
    appstreamcli validate-tree --no-net "$root"
else
    # Without the desktop program the package holds neither; check them as the build has them.
    desktop-file-validate "$here/fakemill.desktop"
    appstreamcli validate --no-net "$build_dir"/packaging/share/*.metainfo.xml
fi
echo "The package installs and checks cleanly"
