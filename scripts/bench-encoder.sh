#!/usr/bin/env bash
# Times our SZDD encoder (szdd_tool encode, built natively as scripts/fuzz.sh
# builds it) against mscompress on two files of SIZE_MIB (default 100) MiB,
# made once under $BUILD/bench-encoder:
#   - mixed.bin: setup-like content, word text runs mixed with random bytes
#     (as scripts/bench-copy.sh makes it);
#   - binaries.bin: the programs in /usr/bin, one after another.
# Our output must expand right with msexpand. Times are user + system CPU
# seconds, best of RUNS (default 3) for ours and MS_RUNS (default 1) for
# mscompress, which is slow. Usage: BUILD=... scripts/bench-encoder.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"

SIZE_MIB=${SIZE_MIB:-100}
RUNS=${RUNS:-3}
MS_RUNS=${MS_RUNS:-1}
DATA="$BUILD/bench-encoder"
TOOL="$DATA/szdd_tool"

for cmd in mscompress msexpand g++; do
    command -v "$cmd" >/dev/null 2>&1 || { echo "$cmd is missing (scripts/fuzz.sh installs it)" >&2; exit 1; }
done
mkdir -p "$DATA"
build_szdd_tool "$TOOL"

size=$((SIZE_MIB << 20))
if [ ! -f "$DATA/mixed.bin" ] || [ "$(stat -c %s "$DATA/mixed.bin")" != "$size" ]; then
    log "making mixed.bin (${SIZE_MIB} MiB)"
    make_setup_like_file "$DATA/mixed.bin" "$size"
fi
if [ ! -f "$DATA/binaries.bin" ] || [ "$(stat -c %s "$DATA/binaries.bin")" != "$size" ]; then
    log "making binaries.bin (${SIZE_MIB} MiB of /usr/bin)"
    find /usr/bin -maxdepth 1 -type f -print0 | sort -z | xargs -0 cat 2>/dev/null |
        head -c "$size" >"$DATA/binaries.bin" || true
    [ "$(stat -c %s "$DATA/binaries.bin")" = "$size" ] || { echo "/usr/bin holds too little" >&2; exit 1; }
fi

# Prints the user + system seconds of a command.
cpu_time() {
    local out
    out=$(mktemp)
    /usr/bin/time -f '%U %S' -o "$out" "$@" >/dev/null
    awk '{ printf "%.2f\n", $1 + $2 }' "$out"
    rm -f "$out"
}
best() { sort -g | head -1; }

rows=()
for name in mixed binaries; do
    file="$DATA/$name.bin"
    work="$DATA/work-$name"
    rm -rf "$work" && mkdir -p "$work"
    times=()
    for run in $(seq 1 "$MS_RUNS"); do
        log "$name: mscompress, run $run of $MS_RUNS"
        cp "$file" "$work/$name.bin"
        rm -f "$work/$name.bin_"
        times+=("$(cpu_time mscompress "$work/$name.bin")")
    done
    ms_time=$(printf '%s\n' "${times[@]}" | best)
    ms_size=$(stat -c %s "$work/$name.bin_")
    times=()
    for run in $(seq 1 "$RUNS"); do
        log "$name: our encoder, run $run of $RUNS"
        times+=("$(cpu_time "$TOOL" encode "$file" "$work/ours.szdd")")
    done
    our_time=$(printf '%s\n' "${times[@]}" | best)
    our_size=$(stat -c %s "$work/ours.szdd")
    msexpand <"$work/ours.szdd" | cmp -s - "$file" || { echo "$name: msexpand does not give the file back" >&2; exit 1; }
    rows+=("$name $ms_time $ms_size $our_time $our_size")
    rm -rf "$work"
done

printf '\nSZDD encoder against mscompress, %d MiB files (CPU seconds, user + system)\n' "$SIZE_MIB"
printf '%-10s %14s %12s %10s %12s %9s %9s\n' file "mscompress s" bytes "ours s" bytes "size" "speed-up"
for row in "${rows[@]}"; do
    # shellcheck disable=SC2086
    set -- $row
    awk -v f="$1" -v mt="$2" -v ms="$3" -v ot="$4" -v os="$5" 'BEGIN {
        printf "%-10s %14.2f %12d %10.2f %12d %8.2f%% %8.1fx\n", f, mt, ms, ot, os,
            100 * (os - ms) / ms, mt / (ot > 0 ? ot : 0.01)
    }'
done
