#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Parchwipe need.
# Sourced by run.sh and test.sh.

parchwipe_packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libgl-dev libqpdf-dev libzip-dev libtag1-dev libarchive-dev libbrotli-dev
    zlib1g-dev libgtest-dev libbenchmark-dev
    exiv2 qpdf poppler-utils librsvg2-bin qt6-image-formats-plugins libimage-exiftool-perl
    xvfb xauth x11-utils imagemagick libjpeg-turbo-progs python3 unzip ffmpeg libheif-examples
    p7zip-full zstd libjxl-tools brotli epubcheck
    clang libclang-rt-14-dev  # tests/fuzz/run.sh
    libreoffice-writer-nogui libreoffice-calc-nogui libreoffice-impress-nogui
)

parchwipe_missing_packages() {
    local package
    for package in "${parchwipe_packages[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            printf '%s\n' "$package"
        fi
    done
}

parchwipe_install_packages() {
    local missing
    mapfile -t missing < <(parchwipe_missing_packages)
    if [ "${#missing[@]}" -eq 0 ]; then
        return 0
    fi
    if [ "$(id -u)" -ne 0 ]; then
        echo "Parchwipe needs these Debian packages first. Run:"
        echo "  sudo apt-get install -y ${missing[*]}"
        return 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q && apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Configures and builds into the given folder; further arguments go to cmake.
parchwipe_build() {
    local build_dir=$1
    shift
    local launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
    cmake --build "$build_dir" --parallel "$(nproc)"
}
