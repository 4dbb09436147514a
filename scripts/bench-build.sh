#!/usr/bin/env bash
# Times `kvlship build` of a product of FILES setup-like files (default 40)
# of MIB MiB in all (default 100) with one thread and with one per
# processor, in one run, checks that both give the same bytes, and prints the
# ratio. Best of RUNS (default 3). A benchmark, not a test.
# Usage: FILES=40 MIB=100 RUNS=3 scripts/bench-build.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"

FILES=${FILES:-40}
MIB=${MIB:-100}
RUNS=${RUNS:-3}

ensure_deps
mkdir -p "$BUILD"
build_all >/dev/null
DATA="$BUILD/bench-build"
mkdir -p "$DATA/files"
each=$(((MIB << 20) / FILES))
manifest="$DATA/product.manifest"
{
    printf '[package]\ntitle = Bench\nlicence = licence.txt\nmodule = stock\n\n[files]\n'
    for i in $(seq -w 1 "$FILES"); do printf 'F%s.DAT = files/F%s.DAT\n' "$i" "$i"; done
} >"$manifest"
echo "The bench's licence." >"$DATA/licence.txt"
for i in $(seq -w 1 "$FILES"); do
    [ -f "$DATA/files/F$i.DAT" ] || make_setup_like_file "$DATA/files/F$i.DAT" "$each"
done

best() { # jobs -> best seconds of RUNS builds into $DATA/out-<jobs>
    local jobs=$1 best= start end seconds
    for _ in $(seq "$RUNS"); do
        rm -rf "$DATA/out-$jobs"
        start=$(date +%s.%N)
        "$BUILD/bin/kvlship" build "$manifest" "$DATA/out-$jobs" --jobs "$jobs" >/dev/null
        end=$(date +%s.%N)
        seconds=$(awk "BEGIN { print $end - $start }")
        if [ -z "$best" ] || awk "BEGIN { exit !($seconds < $best) }"; then best=$seconds; fi
    done
    echo "$best"
}

cores=$(nproc)
one=$(best 1)
all=$(best "$cores")
diff -r "$DATA/out-1" "$DATA/out-$cores" >/dev/null || { echo "the builds differ" >&2; exit 1; }
printf '| threads | s (best of %s) |\n|---:|---:|\n| 1 | %.2f |\n| %s | %.2f |\n' \
    "$RUNS" "$one" "$cores" "$all"
printf '\nspeed-up with %s threads: %.2fx (the output is the same bytes)\n' "$cores" \
    "$(awk "BEGIN { print $one / $all }")"
