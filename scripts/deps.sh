#!/usr/bin/env bash
# Installs the Debian 12 packages Fakemill needs that are missing. Safe to run again: it only
# asks apt for what dpkg does not already have. As root it installs; otherwise it prints the
# apt-get line to run and fails.
#
#   scripts/deps.sh           build and test dependencies
#   scripts/deps.sh --bench   also the peer tools the benchmarks compare against
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config ccache   # ccache: rebuilds reuse unchanged objects
    qt6-base-dev libqt6test6            # Qt Core, Gui, Widgets; Qt Test helpers for GUI tests
    libqt6svg6                          # draws the SVG application icon
    libssl-dev                          # MD5, SHA1, SHA256 (OpenSSL EVP)
    libgif-dev                          # GIF encoding
    googletest libgtest-dev libgmock-dev
    libbenchmark-dev zlib1g-dev         # micro benchmarks; zlib only as the CRC-32 reference
    clang libclang-rt-14-dev            # sanitizer build and libFuzzer targets
    clang-format                        # the format check of scripts/test.sh
    file                                # tests check generated formats with file(1)
    # the readers the damage tests hand damaged files to
    pngcheck jpeginfo giflib-tools imagemagick python3
    scdoc librsvg2-bin dpkg-dev man-db  # manual pages, the PNG icon, dpkg-shlibdeps, man -l
    lintian desktop-file-utils appstream  # checks of the Debian package
    devscripts                          # hardening-check of the packaged programs
    libcap2-bin                         # setcap: the tests give a copy of the hold helper its capability
)
if [[ "${1:-}" == "--screenshots" ]]; then
    packages+=(xvfb xauth xdotool openbox imagemagick)   # scripts/screenshots.sh
fi
if [[ "${1:-}" == "--bench" ]]; then
    packages+=(
        imagemagick                     # image benchmark peer
        xxd bsdextrautils               # hexdump peers (xxd, hexdump -C)
        python3-fake-factory            # CSV benchmark peer (Faker)
        time                            # /usr/bin/time for peak memory
        coreutils openssl
    )
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
    exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
    echo "Missing packages. Install them with:" >&2
    echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! apt-get install -y --no-install-recommends "${missing[@]}"; then
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
fi
