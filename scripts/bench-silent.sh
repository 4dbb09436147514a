#!/usr/bin/env bash
# Times a /VERYSILENT installation of the sample product against the
# interactive one, in one run, on a private display and Wine prefix
# (tests/bench/silent_bench.py). A benchmark, not a test.
# Usage: RUNS=3 scripts/bench-silent.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"

ensure_deps
mkdir -p "$BUILD"
build_all >/dev/null
BUILD_DIR="$BUILD" "$HOST_PYTHON" "$ROOT/tests/bench/silent_bench.py"
