#!/usr/bin/env bash
# Times `kvlship try` on the sample in one run: the first trial (which makes
# and keeps the Wine prefix) against the second (which copies the kept one),
# interactive and with --silent, each pair from an empty cache of its own.
# Also prints how long setup.exe itself ran in each (from the trial's log):
# the pauses the shell makes for a person to read its screens are the floor
# of an interactive trial. A benchmark, not a test.
# Usage: scripts/bench-try.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"

ensure_deps
mkdir -p "$BUILD"
build_all >/dev/null

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
now_ms() { date +%s%N | awk '{ printf "%.0f", $1 / 1000000 }'; }

# The seconds between setup's start and its end, as the trial logged them.
setup_seconds() { # trial.log
    awk '/ starting "/ && !s { s = $1 } / setup.exe ended/ { e = $1 } END { printf "%.1f", e - s }' "$1"
}

declare -A took ran
for mode in interactive silent; do
    flags=()
    [ "$mode" = silent ] && flags=(--silent)
    export XDG_CACHE_HOME="$WORK/cache-$mode"
    for trial in first second; do
        log "$mode trial, $trial"
        start=$(now_ms)
        "$BUILD/bin/kvlship" try "$BUILD/sample-dist" --work "$WORK/$mode-$trial" "${flags[@]}" \
            >"$WORK/$mode-$trial.out" 2>&1 || { cat "$WORK/$mode-$trial.out"; exit 1; }
        end=$(now_ms)
        took[$mode-$trial]=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", (b - a) / 1000 }')
        ran[$mode-$trial]=$(setup_seconds "$WORK/$mode-$trial/logs/trial.log")
    done
done

echo
echo "kvlship try of the sample, seconds (setup.exe's own run in brackets)"
printf '%-12s %16s %16s %8s\n' mode first second ratio
for mode in interactive silent; do
    printf '%-12s %9s (%4s) %9s (%4s) %8s\n' "$mode" "${took[$mode-first]}" "${ran[$mode-first]}" \
        "${took[$mode-second]}" "${ran[$mode-second]}" \
        "$(awk -v a="${took[$mode-first]}" -v b="${took[$mode-second]}" 'BEGIN { printf "%.2f", b / a }')"
done
