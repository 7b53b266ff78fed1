#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks for building and testing, then
# configures and builds. Usage: scripts/setup.sh [build-dir] [sanitizer] [extra cmake args...]
# The build runs CMAKE_BUILD_PARALLEL_LEVEL jobs at once (default: one per core).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev ccache
    libsdl1.2-dev libsdl-mixer1.2-dev libvorbis-dev libpng-dev libjpeg-dev zlib1g-dev libgl-dev libglu1-mesa-dev
    libx11-dev libxtst-dev
    xvfb xauth x11-utils libgl1-mesa-dri libglx-mesa0 mesa-utils
    libgtest-dev libgmock-dev libbenchmark-dev
    # references that only the benchmarks measure against
    libssl-dev libexpat1-dev libstb-dev libgif-dev libsdl-gfx1.2-dev libpixman-1-dev
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build=${1:-build}
san=${2:-address}
shift $(( $# > 2 ? 2 : $# ))
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVAXO_SANITIZE="$san" "$@"
cmake --build "$build" -j"${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
