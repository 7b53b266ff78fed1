#!/usr/bin/env bash
# Runs the sample program: installs what a fresh Debian 12 machine lacks (the packages of
# scripts/setup.sh), makes an optimised build of the libraries and the sample, and starts
# it. Without a display (no DISPLAY) it runs on a virtual one, with silent audio; Ctrl+C
# closes the window there as the close button would.
# Usage: scripts/run.sh [-3d | -software] [-windowed | -fullscreen] [-record | -play]
#                      [-demofile=<name>]
# The build folder is build-run (VAXO_RUN_BUILD names another).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VAXO_RUN_BUILD:-build-run}

scripts/setup.sh "$build" none -DCMAKE_BUILD_TYPE=Release -DVAXO_TESTS=OFF -DVAXO_BENCH=OFF -DVAXO_FUZZ=OFF

xvfb_pid=""
cleanup() { [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
    # Xvfb picks a free display number and writes it to the file.
    number_file=$(mktemp)
    # Its own session, so that Ctrl+C reaches the program and not the display under it.
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 +extension GLX -nolisten tcp -noreset 3>"$number_file" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do [ -s "$number_file" ] && break; sleep 0.1; done
    if [ ! -s "$number_file" ]; then
        echo "Xvfb did not start" >&2
        exit 1
    fi
    export DISPLAY=":$(head -n 1 "$number_file")"
    rm -f "$number_file"
    export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
    export LIBGL_ALWAYS_SOFTWARE=1
    echo "No display: running on the virtual display $DISPLAY"
fi

status=0
"$build/sample/VaxoSample.app/Contents/MacOS/vaxo_sample" "$@" || status=$?
exit $status
