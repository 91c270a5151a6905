# Shared by run.sh and test.sh: where the builds live and how the plain one is configured.
# Both scripts use the same plain build folder, so running one after the other rebuilds nothing.

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir="$repo_root/build"

# ccache (installed by deps.sh) keeps compiled objects between builds and clones: paths below the
# repository are hashed relative to it, so another clone of the same sources reuses them.
compiler_cache=()
if command -v ccache >/dev/null 2>&1; then
    export CCACHE_BASEDIR="$repo_root"
    compiler_cache=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

configure_plain_build() {
    if [[ ! -f "$build_dir/build.ninja" ]]; then
        cmake -S "$repo_root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFAKEMILL_WERROR=ON \
            "${compiler_cache[@]}"
    fi
}
