#!/usr/bin/env bash
# Formats the project's C and C++ sources with clang-format and the
# committed .clang-format. With --check, changes nothing and fails when a
# file is not formatted.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)

if ! command -v clang-format >/dev/null 2>&1; then
    apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q clang-format
fi

mapfile -t files < <(cd "$ROOT" && git ls-files -- '*.cpp' '*.h' | grep -v '^tests/fuzz/shim/')
cd "$ROOT"
if [ "${1:-}" = "--check" ]; then
    clang-format --dry-run --Werror "${files[@]}"
    echo "${#files[@]} files formatted as .clang-format says"
else
    clang-format -i "${files[@]}"
fi
