#!/usr/bin/env bash
# The single-file package against the distribution folder it carries, on the
# sample product and on a product of the programs in /usr/bin (those of 512
# KiB or more in name order, up to SIZE_MIB, default 100 MiB, as F0001.BIN
# ...): sizes, the time of `kvlship build --package`, the stub's check and expansion under Wine
# (unpack_bench: the stub's own code), and a whole /VERYSILENT installation
# under Wine from the package and from the folder, best of RUNS (default 3).
# Then the other compressors on the same bytes, natively with their own
# command-line tools: the ratio each would give the payload and how fast each
# expands. A benchmark, not a test. Usage: BUILD=... scripts/bench-package.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"

SIZE_MIB=${SIZE_MIB:-100}
RUNS=${RUNS:-3}
DATA="$BUILD/bench-package"

ensure_deps
mkdir -p "$BUILD" "$DATA"
build_all >/dev/null
cmake --build "$BUILD" --target unpack_bench -j2 >/dev/null

# The corpus product: the programs of /usr/bin of 512 KiB or more, in name
# order, up to SIZE_MIB.
corpus="$DATA/programs"
if [ ! -f "$corpus/product.manifest" ]; then
    log "making the /usr/bin product (${SIZE_MIB} MiB)"
    rm -rf "$corpus" && mkdir -p "$corpus/files"
    total=0 n=0 limit=$((SIZE_MIB << 20))
    while IFS= read -r -d '' program; do
        size=$(stat -c %s "$program")
        # Setup installs at most 128 files: programs of 512 KiB or more.
        [ "$size" -ge 524288 ] && [ $((total + size)) -le "$limit" ] && [ "$n" -lt 128 ] || continue
        n=$((n + 1))
        cp "$program" "$corpus/files/$(printf 'F%04d.BIN' "$n")"
        total=$((total + size))
    done < <(find /usr/bin -maxdepth 1 -type f -print0 | sort -z)
    {
        printf '[package]\ntitle = Programs\nlicence = licence.txt\nmodule = stock\n'
        printf 'version = 1.0\npublisher = Bench\n\n[files]\n'
        for f in "$corpus"/files/*; do printf '%s = files/%s\n' "${f##*/}" "${f##*/}"; done
        printf '\n[PRODUCT]\ncbFolder = Programs\n'
    } >"$corpus/product.manifest"
    echo "The bench's licence." >"$corpus/licence.txt"
fi

seconds() { awk "BEGIN { printf \"%.2f\", $2 - $1 }"; }
best() { sort -g | head -1; }
mib() { awk "BEGIN { printf \"%.2f\", $1 / 1048576 }"; }

start_display
trap 'stop_wine; stop_display' EXIT
make_prefix "$DATA/prefix"
wineserver -p

# Installs with /VERYSILENT into a fresh folder RUNS times; the best seconds.
install_time() { # program
    local times=() target start end
    for run in $(seq "$RUNS"); do
        target="$DATA/installed"
        rm -rf "$target" && mkdir -p "$target"
        start=$(date +%s.%N)
        wine "$1" /VERYSILENT /DIR="$(winepath -w "$target/Product")" >/dev/null 2>&1 ||
            { echo "$1 failed" >&2; exit 1; }
        end=$(date +%s.%N)
        times+=("$(seconds "$start" "$end")")
    done
    printf '%s\n' "${times[@]}" | best
}

rows=()
for product in sample corpus; do
    if [ "$product" = sample ]; then
        manifest="$ROOT/sample/atlas.manifest" defines=(-D "BIN=$BUILD/bin")
    else
        manifest="$corpus/product.manifest" defines=()
    fi
    work="$DATA/build-$product"
    out="$work/dist"
    rm -rf "$work" && mkdir -p "$work"
    log "$product: kvlship build --package"
    start=$(date +%s.%N)
    "$BUILD/bin/kvlship" build "$manifest" "$out" "${defines[@]}" --engine "$BUILD/bin" \
        --package Package.exe >"$work/build.log"
    end=$(date +%s.%N)
    build_s=$(seconds "$start" "$end")
    package="$work/Package.exe"
    folder_bytes=$(find "$out" -type f ! -name kvlbuild.lst -printf '%s\n' | awk '{ s += $1 } END { print s }')
    # The product's own files, as the build's progress lines give their sizes.
    plain_bytes=$(grep -E '^\[[0-9]+/[0-9]+\]' "$work/build.log" | awk '{ s += $3 } END { print s }')
    package_bytes=$(stat -c %s "$package")
    log "$product: the stub's check and expansion under Wine"
    rm -rf "$DATA/unpacked" && mkdir -p "$DATA/unpacked"
    unpack=$(wine "$BUILD/bin/unpack_bench.exe" "$(winepath -w "$package")" \
        "$(winepath -w "$DATA/unpacked")" "$RUNS" 2>&1 | tr -d '\r')
    log "$product: /VERYSILENT installations under Wine"
    folder_s=$(install_time "$out/setup.exe")
    package_s=$(install_time "$package")
    rows+=("| $product | $(mib "$plain_bytes") | $(mib "$folder_bytes") | $(mib "$package_bytes") | $(awk "BEGIN { printf \"%.1f%%\", 100 * $package_bytes / $folder_bytes }") | $build_s | $folder_s | $package_s |")
    echo "   $product: $unpack"
done
printf '\n| product | files MiB | folder MiB | package MiB | package / folder | build s | install from folder s | install from package s |\n'
printf '|---|---:|---:|---:|---:|---:|---:|---:|\n'
printf '%s\n' "${rows[@]}"
printf '\nthe stub: %s bytes\n' "$(stat -c %s "$BUILD/bin/kvlpack.exe")"

# The other compressors on the corpus's bytes, one after another as the payload holds them.
log "the other compressors on the /usr/bin product's bytes, natively"
cat "$corpus"/files/* >"$DATA/corpus.bin"
plain=$(stat -c %s "$DATA/corpus.bin")
printf '\n| compressor | bytes | of the files | compress s | expand s | expand MiB/s |\n|---|---:|---:|---:|---:|---:|\n'
for candidate in "xz --format=lzma -6 -T1|xz -d --format=lzma" "xz --format=lzma -9 -T1|xz -d --format=lzma" \
    "zstd -19 --long=27 -T1|zstd -d --long=27" "gzip -9|gzip -d"; do
    pack=${candidate%%|*} unpack=${candidate##*|}
    start=$(date +%s.%N)
    $pack -c <"$DATA/corpus.bin" >"$DATA/candidate.out"
    end=$(date +%s.%N)
    pack_s=$(seconds "$start" "$end")
    times=()
    for run in $(seq "$RUNS"); do
        start=$(date +%s.%N)
        $unpack -c <"$DATA/candidate.out" >/dev/null
        end=$(date +%s.%N)
        times+=("$(seconds "$start" "$end")")
    done
    unpack_s=$(printf '%s\n' "${times[@]}" | best)
    bytes=$(stat -c %s "$DATA/candidate.out")
    printf '| %s | %s | %s | %s | %s | %s |\n' "$pack" "$bytes" \
        "$(awk "BEGIN { printf \"%.1f%%\", 100 * $bytes / $plain }")" "$pack_s" "$unpack_s" \
        "$(awk "BEGIN { printf \"%.0f\", $plain / 1048576 / ($unpack_s > 0 ? $unpack_s : 0.01) }")"
done
rm -f "$DATA/candidate.out" "$DATA/corpus.bin"
