#!/usr/bin/env bash
# Runs every fuzz target of a build for a fixed time, a few at a time, each on
# a copy of its seed corpus and with its dictionary when it has one, and prints
# each target's covered edges after its seeds and at the end of its run: a
# target whose figure stops growing needs seeds or a dictionary. Exits non-zero
# when a target finds a fault. Usage: scripts/fuzz.sh [build-dir] [seconds]
# Targets run CTEST_PARALLEL_LEVEL at a time, as the tests do (default: one per core).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-asan}
seconds=${2:-20}
[ -f "$build/fuzz_targets.txt" ] || exit 0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run_fuzz() { # target corpus [dictionary]
    local out="$work/$1" log="$work/$1.log" status=ok start end
    local args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0)
    mkdir -p "$out"
    [ -d "$2" ] && cp -r "$2"/. "$out"/ 2>/dev/null || true
    [ -n "${3:-}" ] && args+=(-dict="$3")
    "$build/fuzz/$1" "${args[@]}" "$out" >"$log" 2>&1 || status=FAILED
    # libFuzzer's status lines carry "cov: N": the INITED one after the seeds, the last at the end.
    start=$(grep -o 'INITED cov: [0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    end=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || echo '?')
    echo "fuzz $1: $status, covered edges $start -> $end"
    if [ "$status" != ok ]; then
        tail -50 "$log"
        return 1
    fi
}
export -f run_fuzz
export work seconds build
grep -v '^$' "$build/fuzz_targets.txt" | xargs -P "${CTEST_PARALLEL_LEVEL:-$(nproc)}" -L 1 bash -c 'run_fuzz "$0" "$1" "${2:-}"'
