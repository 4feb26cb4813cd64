#!/usr/bin/env bash
# Set up a Debian 12 machine, build, and either start the program or run the tests.
#   ./build.sh run    install what is missing, build, start Glyphwright
#   ./build.sh test   install what is missing, build, run the whole test suite
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev libgl-dev libxcb1-dev qt6-translations-l10n
    zlib1g-dev libpng-dev libjpeg62-turbo-dev libtiff-dev libgif-dev libopenjp2-7-dev
    libraw-dev libdcmtk-dev libjxr-dev libcairo2-dev libcli11-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    fonts-wqy-zenhei xvfb xauth
)

install_missing() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
}

build() {
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build --parallel "$(nproc)"
}

case "${1:-}" in
    run)
        install_missing
        build
        if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
            echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset)." >&2
            echo "Start it on a virtual display instead:  xvfb-run -a ./build/glyphwright" >&2
            exit 1
        fi
        exec ./build/glyphwright
        ;;
    test)
        install_missing
        build
        cd build
        QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)"
        ;;
    *)
        echo "usage: $0 run|test" >&2
        exit 2
        ;;
esac
