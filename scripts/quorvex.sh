#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds, and then runs the program or the tests.
#   quorvex.sh run    build and start the program on the built-in module emulator
#   quorvex.sh test   build and run the whole test suite
#   quorvex.sh setup  only install what the build needs
#   quorvex.sh setup --dev  also what the clang, sanitizer and fuzzing builds need
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QX_BUILD:-$here/build}
jobs=${QX_JOBS:-$(nproc)}

packages=(build-essential cmake g++ pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev
          libbenchmark-dev fonts-liberation2 fonts-dejavu-core locales xdg-utils xvfb openbox
          poppler-utils)
dev_packages=(clang libclang-rt-14-dev)

setup() {
    local missing=() wanted=("${packages[@]}")
    [ "${1:-}" != "--dev" ] || wanted+=("${dev_packages[@]}")
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
    done
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    if [ ${#missing[@]} -gt 0 ]; then
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
    # A locale with a decimal comma, so tests prove numbers never follow the locale.
    if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
        $sudo sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
        grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
        $sudo locale-gen >/dev/null
    fi
}

build() {
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQX_WERROR=ON "$@" >/dev/null
    cmake --build "$build" -j "$jobs"
}

case "${1:-}" in
    setup) setup "${2:-}" ;;
    run)
        shift
        setup
        build
        if [ -x "$build/src/gui/quorvexi" ]; then
            exec "$build/src/gui/quorvexi" --simulate "$@"
        else
            exec "$build/src/qvx" --simulate identify "$@"
        fi
        ;;
    test)
        setup
        build
        ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 300
        ;;
    *)
        echo "usage: $0 run|test|setup" >&2
        exit 2
        ;;
esac
