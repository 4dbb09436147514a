#!/usr/bin/env bash
# Builds the engine and installs the bundled sample product ("Harbour Atlas")
# under Wine, the way a vendor tries a product: `kvlship try` on the sample's
# distribution folder (a private Wine prefix and virtual display, the licence
# agreed, a screenshot of each stage, and a report of what landed where).
# Extra arguments go to `kvlship try`, for instance --json.
set -euo pipefail
source "$(dirname "$0")/common.sh"

ensure_deps
mkdir -p "$BUILD"
build_all
log "installing Harbour Atlas from $BUILD/sample-dist"
exec "$BUILD/bin/kvlship" try "$BUILD/sample-dist" --work "$BUILD/sample-run" "$@"
