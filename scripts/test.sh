#!/usr/bin/env bash
# The whole test run: set-up, the sanitizer builds and the plain build, every test
# through CTest in each (display tests on Xvfb at depths 24, 16 and 15), each fuzz
# target briefly on its seed corpus. The benchmarks are built in the plain build, a
# release build as they are measured in (see docs/guide.md). Exits non-zero on any failure.
# Builds run CMAKE_BUILD_PARALLEL_LEVEL jobs at once, CTest runs and fuzz targets
# CTEST_PARALLEL_LEVEL tests at once (each by default one per core).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build_jobs=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
test_jobs=${CTEST_PARALLEL_LEVEL:-$(nproc)}
# The scripts called below read the same two.
export CMAKE_BUILD_PARALLEL_LEVEL=$build_jobs CTEST_PARALLEL_LEVEL=$test_jobs
fuzz_seconds=${VAXO_FUZZ_SECONDS:-10}

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="suppressions=$root/tests/tsan.supp:halt_on_error=1"
export SDL_AUDIODRIVER=dummy

# Through the compiler cache when there is one: a run after a small change compiles little.
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# Build first: ASan + UBSan (tests, fuzz targets), then TSan for the threaded tests.
scripts/setup.sh build-asan address -DVAXO_BENCH=OFF "${launcher[@]}"
scripts/setup.sh build-tsan thread "${launcher[@]}"
# Everything as a user builds it, benchmarks included: default compiler and options (no
# sanitizer, optimised). Its tests run too, so that what only one compiler or only an
# optimised build shows (the order in which a compiler evaluates operands, say) is caught.
cmake -S . -B build-default "${launcher[@]}" >/dev/null
cmake --build build-default -j"$build_jobs"

# Virtual displays for the window and OpenGL tests, one per pixel depth, each on a
# display number of its own choosing, so that other servers on the machine are left alone.
source scripts/xvfb.sh
trap stop_xvfbs EXIT
start_xvfb 24 VAXO_DISPLAY_24
start_xvfb 16 VAXO_DISPLAY_16
start_xvfb 15 VAXO_DISPLAY_15
echo "Virtual displays: $VAXO_DISPLAY_24 (24 bits), $VAXO_DISPLAY_16 (16), $VAXO_DISPLAY_15 (15)"
export LIBGL_ALWAYS_SOFTWARE=1

status=0
ctest --test-dir build-asan -j"$test_jobs" --output-on-failure || status=1
ctest --test-dir build-tsan -j"$test_jobs" --output-on-failure --no-tests=ignore || status=1
ctest --test-dir build-default -j"$test_jobs" --output-on-failure || status=1

# A new user's program: the sample copied out of the tree by the guide's recipe, built against
# the framework as a user builds it, and run; prints its build times.
tests/sample/new_user.sh || status=1

# Fuzz targets, a few at a time, each briefly on its seeds; prints each one's covered edges.
scripts/fuzz.sh build-asan "$fuzz_seconds" || status=1

if [ $status -ne 0 ]; then echo "TESTS FAILED"; else echo "ALL TESTS PASSED"; fi
exit $status
