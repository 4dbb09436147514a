#!/usr/bin/env bash
# Builds the shell's portable code natively and tries it:
#   - the encoder's check: generated files compressed by our encoder must
#     expand right with msexpand and be no larger than mscompress makes them,
#     and our decoder must expand what mscompress made;
#   - each libFuzzer target (tests/fuzz/*_fuzz.cpp: the codec, its fast
#     expansion against one byte at a time (trickle), the data file's line
#     parser, the copy and add-in tables, the readers of the module's records,
#     the install record's reader, the package's payload reader) for SECONDS
#     seconds. A target lists the sources it needs beside the codec
#     on a "// fuzz-sources:" line (C sources compiled as C), and the
#     folders of their headers on a "// fuzz-include:" line, where $ZSTD_LIB_DIR
#     stands for zstd's sources (scripts/common.sh).
# A crash input lands in $BUILD/fuzz; keep it in tests/fuzz/corpus/<target>/.
# Usage: BUILD=... scripts/fuzz.sh [SECONDS]   (default 20; 0 = check only)
set -euo pipefail
source "$(dirname "$0")/common.sh"

SECONDS_EACH=${1:-20}
OUT="$BUILD/fuzz"
CODEC="$ROOT/src/codec/szdd.cpp"

ensure_deps
mkdir -p "$OUT"

log "encoder check against msexpand and mscompress"
build_szdd_tool "$OUT/szdd_tool"
CHECK="$OUT/check"
rm -rf "$CHECK"
mkdir -p "$CHECK/files" "$CHECK/ms" "$CHECK/ours"
$HOST_PYTHON - "$CHECK/files" <<'PY'
import os, random, sys
out = sys.argv[1]
rng = random.Random(2024)
words = [b"word%d" % i for i in range(4000)]
text = b"\n".join(b" ".join(rng.choice(words) for _ in range(10)) for _ in range(800))
pattern = rng.randbytes(18)
files = {
    "empty.bin": b"",
    "tiny.bin": b"ab",
    "blanks.txt": b" " * 37 + b"indented\r\n" + b" " * 3000 + b"end\r\n",
    "runs.bin": b"".join(bytes([rng.randrange(4)]) * rng.randrange(1, 9000) for _ in range(60)),
    "far.bin": pattern + rng.randbytes(4096 - 18) + pattern + rng.randbytes(100),
    "random.bin": rng.randbytes(300000),
    "text.txt": text,
}
for name, data in files.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
PY
cp "$OUT/szdd_tool" "$CHECK/files/program.exe"
make_setup_like_file "$CHECK/files/mixed.bin" 1500000

failed=0
for file in "$CHECK"/files/*; do
    name=$(basename "$file")
    cp "$file" "$CHECK/ms/$name"
    mscompress "$CHECK/ms/$name"
    theirs="$CHECK/ms/${name}_"
    ours="$CHECK/ours/${name}_"
    "$OUT/szdd_tool" encode "$file" "$ours" "${name: -1}"
    verdict=ok
    msexpand <"$ours" | cmp -s - "$file" || verdict="msexpand does not give the file back"
    [ "$(stat -c %s "$ours")" -le "$(stat -c %s "$theirs")" ] || verdict="larger than mscompress"
    # mscompress itself writes wrong bytes for files under 16 bytes.
    if [ "$(stat -c %s "$file")" -ge 16 ]; then
        "$OUT/szdd_tool" decode "$theirs" "$CHECK/back" && cmp -s "$CHECK/back" "$file" ||
            verdict="our decoder differs on mscompress output"
    fi
    printf '   %-12s %9d bytes  mscompress %9d  ours %9d  %s\n' "$name" "$(stat -c %s "$file")" \
        "$(stat -c %s "$theirs")" "$(stat -c %s "$ours")" "$verdict"
    [ "$verdict" = ok ] || failed=1
done
[ "$failed" = 0 ] || { log "encoder check FAILED"; exit 1; }

[ "$SECONDS_EACH" -gt 0 ] || exit 0
for source in "$ROOT"/tests/fuzz/*_fuzz.cpp; do
    target=$(basename "$source" .cpp)
    corpus=${target%_fuzz}
    log "building $target"
    sources=()
    # A source outside the project (a library's, named by its full path) as it is.
    for extra in $(sed -n 's|^// fuzz-sources:||p' "$source"); do
        case $extra in /*) sources+=("$extra") ;; *) sources+=("$ROOT/$extra") ;; esac
    done
    includes=()
    for extra in $(sed -n 's|^// fuzz-include:||p' "$source"); do
        includes+=(-I"${extra//\$ZSTD_LIB_DIR/$ZSTD_LIB_DIR}")
    done
    # The shim stands in for the platform's headers that the module contract
    # includes; only this build sees it.
    local_flags=(-g -O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined)
    # A C library's sources (.c) are compiled as C, apart.
    objects=()
    for extra in "${sources[@]}"; do
        case $extra in *.c)
            clang "${local_flags[@]}" "${includes[@]}" -c "$extra" -o "$OUT/$target-$(basename "$extra" .c).o"
            objects+=("$OUT/$target-$(basename "$extra" .c).o") ;;
        esac
    done
    cxx_sources=()
    for extra in "${sources[@]}"; do case $extra in *.c) ;; *) cxx_sources+=("$extra") ;; esac; done
    clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
        -I"$ROOT/src" -I"$ROOT/include" -I"$ROOT/tools/kvlship" -I"$ROOT/modules" -I"$ROOT/tests/fuzz/shim" "${includes[@]}" -o "$OUT/$target" "$source" \
        "$CODEC" "${cxx_sources[@]}" "${objects[@]}"
    mkdir -p "$OUT/corpus-$corpus"
    log "running $target for $SECONDS_EACH s"
    # New inputs go to the build's corpus, the repository's seeds stay as they are.
    "$OUT/$target" -max_total_time="$SECONDS_EACH" -max_len=8192 -print_final_stats=1 \
        -artifact_prefix="$OUT/$target-" "$OUT/corpus-$corpus" "$ROOT/tests/fuzz/corpus/$corpus" \
        >"$OUT/$target.log" 2>&1 || { tail -40 "$OUT/$target.log"; log "$target FAILED"; exit 1; }
    grep -E 'number_of_executed_units|average_exec_per_sec' "$OUT/$target.log" | sed 's/^/   /'
done
log "all fuzz targets ran clean"
