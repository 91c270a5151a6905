#!/usr/bin/env bash
# Builds the Debian package fakemill_<version>_amd64.deb with CPack from the plain build in
# build/, and prints its path. The version is the one of the project() line in CMakeLists.txt;
# the package's dependencies are those dpkg-shlibdeps finds in the installed programs.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$repo_root"

scripts/deps.sh >&2

# Dates inside the package (changelog, metainfo, manual pages) are those of the last commit, so
# that building the same commit again gives the same files.
if epoch=$(git log -1 --format=%ct 2>/dev/null); then
    export SOURCE_DATE_EPOCH=$epoch
fi
configure_plain_build >&2
cmake "$build_dir" >/dev/null

# Only what the package holds: the programs and the generated share/ files.
targets=(fakemill-cli fakemill_share_files)
if ninja -C "$build_dir" -t query fakemill >/dev/null 2>&1; then
    targets+=(fakemill)
fi
ninja -C "$build_dir" "${targets[@]}" >&2

out="$build_dir/package"
rm -f "$out"/fakemill_*.deb
(cd "$build_dir" && cpack -G DEB -B "$out" >&2)
deb=("$out"/fakemill_*_amd64.deb)
[[ -f ${deb[0]} ]] || { echo "package.sh: CPack made no package" >&2; exit 1; }
echo "${deb[0]}"
