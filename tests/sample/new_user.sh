#!/usr/bin/env bash
# A new user's program: the sample copied into a folder outside the tree and renamed by the
# recipe of README.md (the shell block under "Writing a program with the framework", run as
# it stands), built against the framework with add_subdirectory in a plain build (default
# compiler and options, as README says; through ccache when it is installed, as the test
# command's own builds),
# then run headless twice on a fresh HOME: recorded as a demo and closed once loaded, and
# that demo replayed without options, which must end by itself at the recorded close.
# Checks the renamed sources and targets, the bundle, the program's own data folder, and
# that the replay ran as many updates as the recording. Prints the build times.
# Usage: tests/sample/new_user.sh (runs on VAXO_DISPLAY_24, or starts a display itself).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
jobs=${VAXO_JOBS:-$(nproc)}
work=$(mktemp -d)
source "$root/scripts/xvfb.sh"
trap 'stop_xvfbs; rm -rf "$work"' EXIT

fail() {
    echo "new-user test FAILED: $*" >&2
    exit 1
}

# The recipe: the first shell block after the section's heading.
awk '/^## Writing a program with the framework/ { section = 1 }
     section && /^```sh$/ { inside = 1; next }
     inside && /^```$/ { exit }
     inside { print }' "$root/README.md" >"$work/recipe.sh"
[ -s "$work/recipe.sh" ] || fail "README.md has no recipe block"
(cd "$work" && VAXO="$root" bash -euo pipefail recipe.sh) || fail "the recipe did not run"

top=$work/mygame
program=$top/mygame
[ -f "$top/CMakeLists.txt" ] && [ -f "$program/CMakeLists.txt" ] || fail "the recipe made no mygame/mygame"
[ -f "$program/MyGameApp.h" ] || fail "MyGameApp.h missing: the files were not renamed"
! grep -rq "SampleApp\|vaxo_sample" "$program" || fail "the copy still names the sample's classes or targets"

if command -v ccache >/dev/null; then
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
seconds() { date +%s.%N; }
since() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; } # start end
start=$(seconds)
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=Release >"$work/configure.log" 2>&1 ||
    { cat "$work/configure.log"; fail "configuring the copy"; }
configured=$(seconds)
cmake --build "$top/build" -j"$jobs" --target vaxo_app >"$work/build.log" 2>&1 ||
    { tail -n 50 "$work/build.log"; fail "building the framework's libraries"; }
libraries=$(seconds)
cmake --build "$top/build" -j"$jobs" >>"$work/build.log" 2>&1 || { tail -n 50 "$work/build.log"; fail "building the copy"; }
built=$(seconds)
echo "New-user program built ($jobs jobs${CMAKE_CXX_COMPILER_LAUNCHER:+, ccache}): configure" \
    "$(since "$start" "$configured") s, framework libraries $(since "$configured" "$libraries") s," \
    "the program $(since "$libraries" "$built") s"

bundle=$top/build/mygame/MyGame.app/Contents
exe=$bundle/MacOS/mygame
[ -x "$exe" ] || fail "no program at $exe"
for f in properties/params.xml properties/resources.xml; do
    [ -f "$bundle/Resources/$f" ] || fail "the bundle lacks Resources/$f"
done

if [ -z "${VAXO_DISPLAY_24:-}" ]; then
    start_xvfb 24 VAXO_DISPLAY_24
fi
# Nobody answers a message box here: it prints and takes its default answer.
export HOME=$work/home DISPLAY=$VAXO_DISPLAY_24 SDL_AUDIODRIVER=dummy LIBGL_ALWAYS_SOFTWARE=1 VAXO_NO_ALERT_PANEL=1
mkdir -p "$HOME"
data="$HOME/Library/Application Support/Vaxo/MyGame"

# Recorded: closed (SIGTERM, as the window's close button) once the main screen is up.
"$exe" -software -windowed -record -demofile=newuser.dmo >"$work/record.txt" 2>&1 &
pid=$!
for _ in $(seq 1200); do
    grep -q "loaded after" "$work/record.txt" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
grep -q "loaded after" "$work/record.txt" || { kill -KILL "$pid" 2>/dev/null || true; }
# A second on the main screen: the demo holds its updates, the replay must repeat them all.
sleep 1
kill -TERM "$pid" 2>/dev/null || true
status=0
wait "$pid" || status=$?
[ $status -eq 0 ] && grep -q "updates" "$work/record.txt" ||
    { cat "$work/record.txt"; fail "the recorded run ended with status $status"; }
[ -f "$data/registry.bin" ] && [ -f "$data/newuser.dmo" ] ||
    fail "no settings or demo in the program's own data folder $data"

# Replayed without options: the demo's close ends it.
status=0
timeout 300 "$exe" -play -demofile=newuser.dmo >"$work/replay.txt" 2>&1 || status=$?
[ $status -eq 0 ] || { cat "$work/replay.txt"; fail "the replay ended with status $status"; }
recorded=$(grep "updates" "$work/record.txt")
replayed=$(grep "updates" "$work/replay.txt" || true)
[ "$recorded" = "$replayed" ] || fail "the replay ended with '$replayed', the recording with '$recorded'"
echo "New-user program: built outside the tree, recorded and replayed ($recorded)"
