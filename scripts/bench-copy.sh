#!/usr/bin/env bash
# Times the shell's file copy (CopyOneFile, run under Wine) and the LZ
# expansion alone (in memory, under Wine and natively) against the
# platform's LZCopy, msexpand and cp on the same files in the same run, and
# prints the ratios:
#   - two large SZDD files made by mscompress (LARGE_MIB each, default 64
#     MiB): setup-like content, and the programs in /usr/bin one after
#     another; each also through the platform's LZCopy and, expanded, cp;
#   - the setup-like content uncompressed (a plain copy);
#   - 128 small SZDD files (SMALL_KIB each, default 16 KiB).
# msexpand writes one byte per system call, so it gets a smaller file of the
# same kind (MSEXPAND_MIB, default 8 MiB) and the comparison is by MiB/s.
# BASE=REV also times the copy and the expansion as revision REV made them
# (built once under $BUILD/bench-base), for a before and after in one run.
# Best of RUNS (default 3) for each. Usage: BUILD=... scripts/bench-copy.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"

LARGE_MIB=${LARGE_MIB:-64}
MSEXPAND_MIB=${MSEXPAND_MIB:-8}
SMALL_KIB=${SMALL_KIB:-16}
RUNS=${RUNS:-3}
BASE=${BASE:-}

ensure_deps
mkdir -p "$BUILD"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release >"$BUILD/configure.log" 2>&1 ||
    { cat "$BUILD/configure.log"; exit 1; }
cmake --build "$BUILD" --target copy_bench -j"$(nproc)" >/dev/null
BENCH="$BUILD/bin/copy_bench.exe"

# The expansion alone, built natively from a source tree's codec: the folder
# that holds its szdd.h and szdd.cpp.
native_decoder() { # tree output
    local codec
    codec=$(dirname "$(find "$1/src" -name szdd.h | head -1)")
    g++ -std=c++17 -O2 -I"$1/src" -I"$codec" -o "$2" "$ROOT/tests/bench/decode_bench.cpp" \
        "$codec/szdd.cpp"
}
mkdir -p "$BUILD/bench-native"
native_decoder "$ROOT" "$BUILD/bench-native/decode_bench"

BASE_BENCH=
if [ -n "$BASE" ]; then
    rev=$(git -C "$ROOT" rev-parse --verify "$BASE^{commit}")
    where="$BUILD/bench-base"
    if [ "$(cat "$where/rev" 2>/dev/null)" != "$rev" ]; then
        log "building the copy and the expansion of $BASE (once)"
        rm -rf "$where" && mkdir -p "$where/src"
        git -C "$ROOT" archive "$rev" | tar -x -C "$where/src"
        cmake -S "$where/src" -B "$where/build" -DCMAKE_TOOLCHAIN_FILE="$where/src/cmake/mingw-i686.cmake" \
            -DCMAKE_BUILD_TYPE=Release >"$where/configure.log" 2>&1 || { cat "$where/configure.log"; exit 1; }
        cmake --build "$where/build" --target copy_bench -j"$(nproc)" >/dev/null
        native_decoder "$where/src" "$where/decode_bench"
        echo "$rev" >"$where/rev"
    fi
    BASE_BENCH="$where/build/bin/copy_bench.exe"
fi

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
sized() { [ -f "$1" ] && [ "$(stat -c %s "$1")" = "$2" ]; }

if ! sized "$DATA/large.bin" $((LARGE_MIB << 20)); then
    log "making a ${LARGE_MIB} MiB setup-like file and compressing it with mscompress (once)"
    make_setup_like_file "$DATA/large.bin" $((LARGE_MIB << 20))
    rm -f "$DATA/large.bin_"
fi
compressed "$DATA/large.bin"
if ! sized "$DATA/binaries.bin" $((LARGE_MIB << 20)); then
    log "making a ${LARGE_MIB} MiB file of /usr/bin and compressing it with mscompress (once)"
    find /usr/bin -maxdepth 1 -type f -print0 | sort -z | xargs -0 cat 2>/dev/null |
        head -c $((LARGE_MIB << 20)) >"$DATA/binaries.bin" || true
    sized "$DATA/binaries.bin" $((LARGE_MIB << 20)) || { echo "/usr/bin holds too little" >&2; exit 1; }
    rm -f "$DATA/binaries.bin_"
fi
compressed "$DATA/binaries.bin"
if ! sized "$DATA/medium.bin" $((MSEXPAND_MIB << 20)); then
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

# Runs a copy_bench under Wine; prints its own timing (Wine's start-up left out).
run_bench() { # program mode source dest
    local out
    out=$(mktemp)
    wine "$1" "$2" "$(win "$3")" "$(win "$4")" >"$out" 2>/dev/null </dev/null || true
    tr -d '\r' <"$out"
    rm -f "$out"
}
bench() { run_bench "$BENCH" "$@"; }
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

# t[KEY] collects one time per run.
declare -A t
add() { t[$1]="${t[$1]:-} $2"; }
for run in $(seq 1 "$RUNS"); do
    log "run $run of $RUNS"
    for kind in large binaries; do
        fresh_out
        add "one-$kind" "$(bench one "$DATA/$kind.bin_" "$OUT/$kind.bin")"
        check_same "$DATA/$kind.bin" "$OUT/$kind.bin"
        if [ -n "$BASE_BENCH" ]; then
            fresh_out
            add "base-$kind" "$(run_bench "$BASE_BENCH" one "$DATA/$kind.bin_" "$OUT/$kind.bin")"
            check_same "$DATA/$kind.bin" "$OUT/$kind.bin"
        fi
        fresh_out
        add "lzcopy-$kind" "$(bench lzcopy "$DATA/$kind.bin_" "$OUT/$kind.bin")"
        check_same "$DATA/$kind.bin" "$OUT/$kind.bin"
        fresh_out
        add "cp-$kind" "$(host_time cp "$DATA/$kind.bin" "$OUT/$kind.bin")"
        add "expand-$kind" "$(bench expand "$DATA/$kind.bin_" "$OUT/unused")"
        fresh_out
        add "native-$kind" "$("$BUILD/bench-native/decode_bench" "$DATA/$kind.bin_" 3)"
        [ -z "$BASE_BENCH" ] ||
            add "native-base-$kind" "$("$BUILD/bench-base/decode_bench" "$DATA/$kind.bin_" 3)"
    done
    fresh_out
    add plain "$(bench one "$DATA/large.bin" "$OUT/large.bin")"
    check_same "$DATA/large.bin" "$OUT/large.bin"
    fresh_out
    add msx "$(host_time sh -c "msexpand <'$DATA/medium.bin_' >'$OUT/medium.bin'")"
    check_same "$DATA/medium.bin" "$OUT/medium.bin"
    fresh_out
    add msx-lz "$(bench one "$DATA/medium.bin_" "$OUT/medium.bin")"
    fresh_out
    add many "$(bench many "$DATA/small" "$OUT")"
    check_same "$DATA/small-plain/f001.txt" "$OUT/f001.txt_"
    fresh_out
    add many-msx "$(host_time expand_all)"
    fresh_out
    add many-cp "$(host_time cp -r "$DATA/small-plain/." "$OUT/")"
done
rm -rf "$OUT"

# The best of each, as KEY=ms lines for awk; a failed copy_bench ends the script.
results=$(for key in "${!t[@]}"; do
    for v in ${t[$key]}; do
        case $v in FAILED*|"") echo "$key failed: $v" >&2; exit 1 ;; esac
    done
    printf '%s=%s\n' "$key" "$(printf '%s\n' ${t[$key]} | best)"
done) || exit 1

awk -v L="$LARGE_MIB" -v M="$MSEXPAND_MIB" -v K="$SMALL_KIB" -v base="$BASE" -v r="$results" 'BEGIN {
    n = split(r, lines, "\n")
    for (i = 1; i <= n; ++i) { split(lines[i], kv, "="); ms[kv[1]] = kv[2] }
    name["large"] = "setup-like"; name["binaries"] = "/usr/bin programs"
    printf "\nbest of runs, ms (CopyOneFile and LZCopy under Wine; decoder natively, CPU time)\n"
    printf "%-52s %10s %10s\n", "work", "ms", "MiB/s"
    split("large binaries", kinds, " ")
    for (k = 1; k <= 2; ++k) {
        kind = kinds[k]
        row("CopyOneFile " L " MiB SZDD, " name[kind], ms["one-" kind], L)
        if (base != "") row("  the same, as " base " made it", ms["base-" kind], L)
        row("LZCopy (platform), the same file", ms["lzcopy-" kind], L)
        row("cp of the expanded file", ms["cp-" kind], L)
        row("its expansion alone, in memory (under Wine)", ms["expand-" kind], L)
        row("decoder in memory (native), the same file", ms["native-" kind], L)
        if (base != "") row("  the same, as " base " made it", ms["native-base-" kind], L)
    }
    row("CopyOneFile " L " MiB plain (setup-like)", ms["plain"], L)
    row("CopyOneFile " M " MiB SZDD", ms["msx-lz"], M)
    row("msexpand " M " MiB SZDD", ms["msx"], M)
    printf "%-52s %10.1f %10.2f ms/file\n", "CopyOneFile 128 x ~" K " KiB SZDD", ms["many"], ms["many"] / 128
    printf "%-52s %10.1f %10.2f ms/file\n", "msexpand 128 x ~" K " KiB SZDD", ms["many-msx"], ms["many-msx"] / 128
    printf "%-52s %10.1f %10.2f ms/file\n", "cp 128 x ~" K " KiB plain", ms["many-cp"], ms["many-cp"] / 128

    printf "\nratios                                              setup-like   programs\n"
    ratio2("CopyOneFile / cp of the expanded file (at most 2.5)", "one-", "cp-")
    ratio2("LZCopy / CopyOneFile: speed-up (at least 6)", "lzcopy-", "one-")
    if (base != "") {
        ratio2("CopyOneFile as " base " made it / now: speed-up", "base-", "one-")
        ratio2("decoder as " base " made it / now: speed-up (3)", "native-base-", "native-")
    }
    ratio2("expansion alone / CopyOneFile: its share", "expand-", "one-")
    ratio2("native decoder alone, no I/O / cp", "native-", "cp-")
    printf "  %-50s %10.2f\n", "large plain, CopyOneFile / cp", ms["plain"] / ms["cp-large"]
    printf "  %-50s %10.1f\n", "SZDD per MiB, msexpand / CopyOneFile: speed-up",
        (ms["msx"] / M) / (ms["msx-lz"] / M)
    printf "  %-50s %10.1f\n", "128 small SZDD, msexpand / CopyOneFile: speed-up", ms["many-msx"] / ms["many"]
    printf "  %-50s %10.2f\n", "128 small, CopyOneFile (SZDD) / cp (plain)", ms["many"] / ms["many-cp"]
}
function row(label, v, mib) { printf "%-52s %10.1f %10.1f\n", label, v, mib * 1000 / v }
function ratio2(label, a, b) {
    printf "  %-50s %10.2f %10.2f\n", label, ms[a "large"] / ms[b "large"], ms[a "binaries"] / ms[b "binaries"]
}'
