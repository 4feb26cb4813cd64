#!/usr/bin/env bash
# Set up a Debian 12 machine, build, and either start the program or run the tests.
#   ./build.sh run    install what is missing, build, start Glyphwright
#   ./build.sh test   install what is missing, build, run the whole test suite
set -euo pipefail
cd "$(dirname "$0")"

# One package list for this script and CI; "#" starts a comment.
mapfile -t PACKAGES < <(sed 's/#.*//' packages.txt | tr -s ' \t' '\n' | sed '/^$/d')

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
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGW_BUILD_BENCH=ON "${launcher[@]}"
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
