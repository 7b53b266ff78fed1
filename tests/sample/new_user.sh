#!/usr/bin/env bash
# A new user's program: the sample copied into a folder outside the tree and renamed by the
# recipe of docs/guide.md (the shell block under "Writing a program with the framework", run
# as it stands), built against the framework with add_subdirectory in a plain build (default
# compiler and options, as the guide says; through ccache when it is installed, as the test
# command's own builds), then run headless on a fresh HOME: recorded as a demo below its data
# folder and closed once loaded; that demo, copied elsewhere, replayed by its absolute path
# without options, which must end by itself at the recorded close; and twice ended by a
# fatal error (an unknown option, a missing demo), which must end it with status 1.
# Checks the renamed sources and targets, the bundle, the program's own data folder, that
# the replay ran as many updates as the recording, and that nothing the copy shows or prints
# names the sample: its output, its message boxes (printed here), its window title, and the
# texts of its sources and properties. Prints the build times.
# Usage: tests/sample/new_user.sh (starts a virtual display of its own; the build runs
# CMAKE_BUILD_PARALLEL_LEVEL jobs at once, by default one per core).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
jobs=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
work=$(mktemp -d)
source "$root/scripts/xvfb.sh"
trap 'stop_xvfbs; rm -rf "$work"' EXIT

fail() {
    echo "new-user test FAILED: $*" >&2
    exit 1
}

# The recipe: the first shell block after the section's heading.
guide=$root/docs/guide.md
awk '/^## Writing a program with the framework/ { section = 1 }
     section && /^```sh$/ { inside = 1; next }
     inside && /^```$/ { exit }
     inside { print }' "$guide" >"$work/recipe.sh"
[ -s "$work/recipe.sh" ] || fail "docs/guide.md has no recipe block"
(cd "$work" && VAXO="$root" bash -euo pipefail recipe.sh) || fail "the recipe did not run"

top=$work/mygame
program=$top/mygame
[ -f "$top/CMakeLists.txt" ] && [ -f "$program/CMakeLists.txt" ] || fail "the recipe made no mygame/mygame"
[ -f "$program/MyGameApp.h" ] || fail "MyGameApp.h missing: the files were not renamed"
! grep -rq "SampleApp\|vaxo_sample" "$program" || fail "the copy still names the sample's classes or targets"
# What the copy can show: the string literals of its sources and the values of its
# properties (comments left out of both).
texts=$(cat "$program"/*.h "$program"/*.cpp "$program"/tools/* | sed 's|//.*||' | grep -o '"[^"]*"' || true)
texts+=$'\n'$(sed 's/<!--.*-->//; /<!--/,/-->/d' "$program"/properties/*.xml)
named=$(grep -i "sample" <<<"$texts" || true)
[ -z "$named" ] || fail "the copy's texts still name the sample: $named"

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

# A display of its own, so that every window on it is the copy's.
start_xvfb 24 display
command -v xwininfo >/dev/null || fail "xwininfo missing (x11-utils): run scripts/setup.sh first"
# Nobody answers a message box here: it prints and takes its default answer.
export HOME=$work/home DISPLAY=$display SDL_AUDIODRIVER=dummy LIBGL_ALWAYS_SOFTWARE=1 VAXO_NO_ALERT_PANEL=1
mkdir -p "$HOME"
data="$HOME/Library/Application Support/Vaxo/MyGame"

# Recorded below the data folder: closed (SIGTERM, as the window's close button) once the
# main screen is up.
"$exe" -software -windowed -record -demofile=demos/newuser.dmo >"$work/record.txt" 2>&1 &
pid=$!
for _ in $(seq 1200); do
    grep -q "loaded after" "$work/record.txt" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
grep -q "loaded after" "$work/record.txt" || { kill -KILL "$pid" 2>/dev/null || true; }
# The names of the windows on the display ("name": geometry), the program's among them.
xwininfo -root -tree >"$work/windows.txt" 2>&1 || true
# A second on the main screen: the demo holds its updates, the replay must repeat them all.
sleep 1
kill -TERM "$pid" 2>/dev/null || true
status=0
wait "$pid" || status=$?
[ $status -eq 0 ] && grep -q "updates" "$work/record.txt" ||
    { cat "$work/record.txt"; fail "the recorded run ended with status $status"; }
[ -f "$data/registry.bin" ] && [ -f "$data/demos/newuser.dmo" ] ||
    fail "no settings or demo in the program's own data folder $data"
grep -q '"Vaxo MyGame"' "$work/windows.txt" || { cat "$work/windows.txt"; fail "no window titled Vaxo MyGame"; }

# Replayed by its absolute path, without options: the demo's close ends it.
cp "$data/demos/newuser.dmo" "$work/newuser.dmo"
status=0
timeout 300 "$exe" -play -demofile="$work/newuser.dmo" >"$work/replay.txt" 2>&1 || status=$?
[ $status -eq 0 ] || { cat "$work/replay.txt"; fail "the replay ended with status $status"; }
recorded=$(grep "updates" "$work/record.txt")
replayed=$(grep "updates" "$work/replay.txt" || true)
[ "$recorded" = "$replayed" ] || fail "the replay ended with '$replayed', the recording with '$recorded'"
# Nothing it printed and no window names the sample.
for f in record replay windows; do
    ! grep -i "sample" "$work/$f.txt" || fail "the copy names the sample ($f.txt)"
done

# Fatal errors, before and after the properties are read: a box, then status 1.
for run in "bogus -bogus" "missing -play -demofile=missing.dmo"; do
    read -r name args <<<"$run"
    status=0
    # shellcheck disable=SC2086 # the options are words
    timeout 300 "$exe" $args >"$work/$name.txt" 2>&1 || status=$?
    [ $status -eq 1 ] && grep -q "^Vaxo MyGame: Error$" "$work/$name.txt" ||
        { cat "$work/$name.txt"; fail "'$args' ended with status $status, not with an error box and 1"; }
    ! grep -i "sample" "$work/$name.txt" || fail "the copy's error box names the sample ($name.txt)"
done
echo "New-user program: built outside the tree, recorded and replayed ($recorded)," \
    "its texts, output, boxes and title its own"
