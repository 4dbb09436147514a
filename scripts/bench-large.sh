#!/usr/bin/env bash
# Times a 5,000-file product installed interactively at the fast pace, with
# the longest message setup handled during the copy, and measures setup's
# peak memory with 65,536 copy entries declared, on a private display and
# Wine prefix (tests/bench/large_bench.py). A benchmark, not a test.
# Usage: FILES=5000 scripts/bench-large.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"

ensure_deps
mkdir -p "$BUILD"
build_all >/dev/null
BUILD_DIR="$BUILD" "$HOST_PYTHON" "$ROOT/tests/bench/large_bench.py"
