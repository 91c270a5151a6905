#!/usr/bin/env bash
# Checks that every C++ file is formatted as .clang-format says, then builds and runs the whole
# test suite twice (the layering check is one of its tests): a plain optimised build, then a build
# with AddressSanitizer and UndefinedBehaviorSanitizer. With clang present the sanitizer build uses
# it and also runs the fuzz targets for a short, bounded time. Exits non-zero on any failure.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
cd "$repo_root"

jobs=$(nproc)

scripts/deps.sh

echo "== Format check (clang-format)"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
else
    find . -path ./build -prune -o -path ./build-asan -prune -o \( -name '*.cpp' -o -name '*.h' \) -print0 |
        xargs -0 clang-format --dry-run --Werror
fi

echo "== Plain build"
configure_plain_build
ninja -C "$build_dir"
ctest --test-dir "$build_dir" -j "$jobs" --output-on-failure

echo "== Debian package (built from the plain build, unpacked and checked)"
packaging/check-package.sh "$(scripts/package.sh)" "$build_dir"

echo "== Sanitizer build (ASan + UBSan)"
asan_dir="$repo_root/build-asan"
if [[ ! -f "$asan_dir/build.ninja" ]]; then
    fuzz=OFF
    compilers=()
    if command -v clang++ >/dev/null 2>&1; then
        fuzz=ON
        compilers=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
    fi
    cmake -S "$repo_root" -B "$asan_dir" -G Ninja "${compilers[@]}" "${compiler_cache[@]}" \
        -DCMAKE_BUILD_TYPE=Sanitize -DCMAKE_CXX_FLAGS_SANITIZE="-O1 -g1" \
        -DFAKEMILL_SANITIZE=ON -DFAKEMILL_FUZZ=$fuzz -DFAKEMILL_BENCH=OFF -DFAKEMILL_WERROR=ON
fi
ninja -C "$asan_dir"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$asan_dir" -j "$jobs" --output-on-failure

if [[ -x "$asan_dir/fuzz/run-fuzzers.sh" ]]; then
    echo "== Fuzzing (bounded)"
    "$asan_dir/fuzz/run-fuzzers.sh"
fi

echo "== All tests passed, plain and under sanitizers"
