# Shared by run.sh and test.sh: where the builds live and how the plain one is configured.
# Both scripts use the same plain build folder, so running one after the other rebuilds nothing.

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir="$repo_root/build"

configure_plain_build() {
    if [[ ! -f "$build_dir/build.ninja" ]]; then
        cmake -S "$repo_root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFAKEMILL_WERROR=ON
    fi
}
