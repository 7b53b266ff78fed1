#!/usr/bin/env bash
# Runs the sample program: installs what a fresh Debian 12 machine lacks (the packages of
# scripts/setup.sh), makes an optimised build of the libraries and the sample, and starts
# it. Without a display (no DISPLAY) it runs on a virtual one, with silent audio; Ctrl+C
# closes the window there as the close button would.
# Usage: scripts/run.sh [-3d | -software] [-windowed | -fullscreen] [-record | -play]
#                      [-demofile=<path>]
# The build folder is build-run (VAXO_RUN_BUILD names another); the build runs
# CMAKE_BUILD_PARALLEL_LEVEL jobs at once (default: one per core).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VAXO_RUN_BUILD:-build-run}

scripts/setup.sh "$build" none -DCMAKE_BUILD_TYPE=Release -DVAXO_TESTS=OFF -DVAXO_BENCH=OFF -DVAXO_FUZZ=OFF

source scripts/xvfb.sh
trap stop_xvfbs EXIT
if [ -z "${DISPLAY:-}" ]; then
    start_xvfb 24 DISPLAY
    export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
    export LIBGL_ALWAYS_SOFTWARE=1
    # Nobody could click a message box there: it prints to the terminal instead.
    export VAXO_NO_ALERT_PANEL=1
    echo "No display: running on the virtual display $DISPLAY"
fi

status=0
"$build/sample/VaxoSample.app/Contents/MacOS/vaxo_sample" "$@" || status=$?
exit $status
