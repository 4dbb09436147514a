#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests under Wine and the
# end-to-end scenarios that run setup.exe on a virtual display.
set -euo pipefail
source "$(dirname "$0")/common.sh"

ensure_deps
mkdir -p "$BUILD"
build_all

trap 'stop_wine; stop_display' EXIT
start_display 24
make_prefix "$BUILD/wineprefix"
wineserver -p >/dev/null 2>&1

log "running the tests"
cd "$BUILD"
# Four entries at a time on two cores: the end-to-end ones mostly wait on the
# shell's timer, and those that time something run alone (RUN_SERIAL in
# tests/CMakeLists.txt). A -j given to this script wins.
ctest --output-on-failure --timeout 900 -j4 "$@"
