#!/usr/bin/env bash
# make-late-import-lib.sh TOOLPREFIX NAME OUT
#
# Writes OUT, an import library for NAME.dll whose functions are bound on
# their first call (through __delayLoadHelper2 of src/util/lateload.cpp)
# rather than by the loader when the program starts. dlltool makes the
# library; its import sections are then renamed into .data, one name per
# member and library, because this linker zeroes delay-import entries left
# in .idata, and the name order keeps each table in the order dlltool made it.
set -euo pipefail
tool=$1
name=$2
out=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sysroot=$("$tool-gcc" -print-sysroot 2>/dev/null || true)
implib=$("$tool-gcc" -print-file-name="lib$name.a")
[ -f "$implib" ] || implib="$sysroot/lib/lib$name.a"
"$tool-nm" "$implib" 2>/dev/null | awk '$2 == "T" && $3 ~ /^_/ { print substr($3, 2) }' |
    sort -u >"$work/exports"
upper=$(printf '%s' "$name" | tr '[:lower:]' '[:upper:]')
{ echo "LIBRARY $upper.dll"; echo "EXPORTS"; cat "$work/exports"; } >"$work/$name.def"
"$tool-dlltool" --kill-at --input-def "$work/$name.def" --output-delaylib "$work/late.a" \
    --dllname "$upper.dll"

mkdir "$work/members"
cd "$work/members"
"$tool-ar" x ../late.a
for member in *.o; do
    tag=${member%.o}
    tag=${tag##*_a_}
    renames=()
    for n in 2 4 5 6 7; do
        renames+=(--rename-section ".idata\$$n=.data\$late${n}_${name}_${tag}")
    done
    "$tool-objcopy" "${renames[@]}" "$member"
done
rm -f "$out"
"$tool-ar" rcs "$out" *.o
