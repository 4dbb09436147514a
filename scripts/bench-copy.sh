#!/usr/bin/env bash
# Times the shell's file copy (CopyOneFile, run under Wine) against msexpand
# and cp on the same files in the same run, and prints the ratios:
#   - one large SZDD file made by mscompress (LARGE_MIB, default 64 MiB), also
#     through the platform's LZCopy in the same run;
#   - the same content uncompressed (a plain copy);
#   - 128 small SZDD files (SMALL_KIB each, default 16 KiB).
# msexpand writes one byte per system call, so it gets a smaller file of the
# same kind (MSEXPAND_MIB, default 8 MiB) and the comparison is by MiB/s.
# Best of RUNS (default 3) for each. Usage: BUILD=... scripts/bench-copy.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"

LARGE_MIB=${LARGE_MIB:-64}
MSEXPAND_MIB=${MSEXPAND_MIB:-8}
SMALL_KIB=${SMALL_KIB:-16}
RUNS=${RUNS:-3}

ensure_deps
mkdir -p "$BUILD"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release >"$BUILD/configure.log" 2>&1 ||
    { cat "$BUILD/configure.log"; exit 1; }
cmake --build "$BUILD" --target copy_bench -j"$(nproc)" >/dev/null
BENCH="$BUILD/bin/copy_bench.exe"

# The display is not needed, but Wine wants a prefix of our own.
trap 'stop_wine' EXIT
make_prefix "$BUILD/wineprefix"
wineserver -p >/dev/null 2>&1

DATA="$BUILD/bench-copy"
OUT="$DATA/out"
mkdir -p "$DATA/small"

compressed() { # plain-file -> plain-file_ (made once, kept between runs)
    if [ ! -f "$1_" ] || [ "$1_" -ot "$1" ]; then
        mscompress "$1" >/dev/null
    fi
}

if [ ! -f "$DATA/large.bin" ] || [ "$(stat -c %s "$DATA/large.bin")" != $((LARGE_MIB << 20)) ]; then
    log "making a ${LARGE_MIB} MiB file and compressing it with mscompress (once)"
    make_setup_like_file "$DATA/large.bin" $((LARGE_MIB << 20))
    rm -f "$DATA/large.bin_"
fi
compressed "$DATA/large.bin"
if [ ! -f "$DATA/medium.bin" ] || [ "$(stat -c %s "$DATA/medium.bin")" != $((MSEXPAND_MIB << 20)) ]; then
    make_setup_like_file "$DATA/medium.bin" $((MSEXPAND_MIB << 20))
    rm -f "$DATA/medium.bin_"
fi
compressed "$DATA/medium.bin"
if [ "$(ls "$DATA/small" | grep -c '_$' || true)" != 128 ]; then
    rm -rf "$DATA/small" "$DATA/small-plain"
    mkdir -p "$DATA/small" "$DATA/small-plain"
    for i in $(seq -w 1 128); do
        make_setup_like_file "$DATA/small-plain/f$i.txt" $((SMALL_KIB * 1024 + 10#$i * 37))
        cp "$DATA/small-plain/f$i.txt" "$DATA/small/f$i.txt"
        mscompress "$DATA/small/f$i.txt" >/dev/null
        rm "$DATA/small/f$i.txt"
    done
fi

win() { winepath -w "$1" 2>/dev/null; }
now_ms() { date +%s%N | awk '{ printf "%.3f", $1 / 1000000 }'; }
best() { sort -g | head -1; }

# Runs copy_bench under Wine; prints its own timing (Wine's start-up left out).
bench() { # mode source dest
    local out
    out=$(mktemp)
    wine "$BENCH" "$1" "$(win "$2")" "$(win "$3")" >"$out" 2>/dev/null </dev/null || true
    tr -d '\r' <"$out"
    rm -f "$out"
}
host_time() { # command...; prints milliseconds
    local start end
    start=$(now_ms)
    "$@"
    end=$(now_ms)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }'
}
fresh_out() { rm -rf "$OUT" && mkdir -p "$OUT"; }
check_same() { cmp -s "$1" "$2" || { echo "MISMATCH: $1 $2" >&2; exit 1; }; }
expand_all() { for f in "$DATA"/small/*_; do msexpand <"$f" >"$OUT/$(basename "$f")"; done; }

declare -a t_lz t_lzcopy t_plain t_cp t_msx t_msx_lz t_many t_many_msx t_many_cp
for run in $(seq 1 "$RUNS"); do
    log "run $run of $RUNS"
    fresh_out
    t_lz+=("$(bench one "$DATA/large.bin_" "$OUT/large.bin")")
    check_same "$DATA/large.bin" "$OUT/large.bin"
    fresh_out
    t_lzcopy+=("$(bench lzcopy "$DATA/large.bin_" "$OUT/large.bin")")
    check_same "$DATA/large.bin" "$OUT/large.bin"
    fresh_out
    t_plain+=("$(bench one "$DATA/large.bin" "$OUT/large.bin")")
    check_same "$DATA/large.bin" "$OUT/large.bin"
    fresh_out
    t_cp+=("$(host_time cp "$DATA/large.bin" "$OUT/large.bin")")
    fresh_out
    t_msx+=("$(host_time sh -c "msexpand <'$DATA/medium.bin_' >'$OUT/medium.bin'")")
    check_same "$DATA/medium.bin" "$OUT/medium.bin"
    fresh_out
    t_msx_lz+=("$(bench one "$DATA/medium.bin_" "$OUT/medium.bin")")
    fresh_out
    t_many+=("$(bench many "$DATA/small" "$OUT")")
    check_same "$DATA/small-plain/f001.txt" "$OUT/f001.txt_"
    fresh_out
    t_many_msx+=("$(host_time expand_all)")
    fresh_out
    t_many_cp+=("$(host_time cp -r "$DATA/small-plain/." "$OUT/")")
done
rm -rf "$OUT"

for v in "${t_lz[@]}" "${t_lzcopy[@]}" "${t_plain[@]}" "${t_msx_lz[@]}" "${t_many[@]}"; do
    case $v in FAILED*|"") echo "copy_bench failed: $v" >&2; exit 1 ;; esac
done

lz=$(printf '%s\n' "${t_lz[@]}" | best)
lzcopy=$(printf '%s\n' "${t_lzcopy[@]}" | best)
plain=$(printf '%s\n' "${t_plain[@]}" | best)
cpl=$(printf '%s\n' "${t_cp[@]}" | best)
msx=$(printf '%s\n' "${t_msx[@]}" | best)
msx_lz=$(printf '%s\n' "${t_msx_lz[@]}" | best)
many=$(printf '%s\n' "${t_many[@]}" | best)
many_msx=$(printf '%s\n' "${t_many_msx[@]}" | best)
many_cp=$(printf '%s\n' "${t_many_cp[@]}" | best)

awk -v L="$LARGE_MIB" -v M="$MSEXPAND_MIB" -v K="$SMALL_KIB" \
    -v lz="$lz" -v lzcopy="$lzcopy" -v plain="$plain" -v cpl="$cpl" -v msx="$msx" -v msxlz="$msx_lz" \
    -v many="$many" -v mmsx="$many_msx" -v mcp="$many_cp" 'BEGIN {
    printf "\nCopyOneFile under Wine against the host tools (best of runs, ms)\n"
    printf "%-44s %10s %10s\n", "work", "ms", "MiB/s"
    printf "%-44s %10.1f %10.1f\n", "CopyOneFile " L " MiB SZDD (expanding)", lz, L * 1000 / lz
    printf "%-44s %10.1f %10.1f\n", "LZCopy (platform) " L " MiB SZDD", lzcopy, L * 1000 / lzcopy
    printf "%-44s %10.1f %10.1f\n", "CopyOneFile " L " MiB plain", plain, L * 1000 / plain
    printf "%-44s %10.1f %10.1f\n", "cp " L " MiB plain", cpl, L * 1000 / cpl
    printf "%-44s %10.1f %10.1f\n", "CopyOneFile " M " MiB SZDD", msxlz, M * 1000 / msxlz
    printf "%-44s %10.1f %10.1f\n", "msexpand " M " MiB SZDD", msx, M * 1000 / msx
    printf "%-44s %10.1f %10.2f\n", "CopyOneFile 128 x ~" K " KiB SZDD (ms/file)", many, many / 128
    printf "%-44s %10.1f %10.2f\n", "msexpand 128 x ~" K " KiB SZDD (ms/file)", mmsx, mmsx / 128
    printf "%-44s %10.1f %10.2f\n", "cp 128 x ~" K " KiB plain (ms/file)", mcp, mcp / 128
    printf "\nratios (above 1: CopyOneFile takes longer)\n"
    printf "  large SZDD, CopyOneFile / cp of the expanded file: %7.3f\n", lz / cpl
    printf "  large SZDD, LZCopy / CopyOneFile (speed-up):      %7.3f\n", lzcopy / lz
    printf "  large plain, CopyOneFile / cp:                    %7.3f\n", plain / cpl
    printf "  SZDD per MiB, CopyOneFile / msexpand:             %7.3f\n", msxlz / msx
    printf "  128 small SZDD, CopyOneFile / msexpand:           %7.3f\n", many / mmsx
    printf "  128 small, CopyOneFile (SZDD) / cp (plain):       %7.3f\n", many / mcp
}'
