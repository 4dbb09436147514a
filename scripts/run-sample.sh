#!/usr/bin/env bash
# Builds setup.exe and installs the bundled sample product ("Harbour Atlas")
# with it under Wine, as a user would: from its distribution folder, into a
# fresh Wine prefix of its own.
#
# With DISPLAY set, setup runs on that display and you answer its dialogs.
# Without, it runs on a private virtual display, the script presses
# "I Agree" itself and takes screenshots on the way.
# At the end it lists what was installed where, and the screenshots.
set -euo pipefail
source "$(dirname "$0")/common.sh"

ensure_deps
mkdir -p "$BUILD"
build_all

RUN=$BUILD/sample-run
SHOTS=$RUN/screenshots
rm -rf "$RUN"
mkdir -p "$SHOTS"
cp -r "$BUILD/sample-dist" "$RUN/distribution"

attended=1
if [ -z "${DISPLAY:-}" ]; then
    attended=0
    start_display 24
fi
cleanup() {
    stop_wine
    [ "$attended" = 0 ] && stop_display
    return 0
}
trap cleanup EXIT

make_prefix "$RUN/prefix"
DEST="$WINEPREFIX/drive_c/Program Files/Harbour Atlas"

log "installing Harbour Atlas from $RUN/distribution"
(cd "$RUN/distribution" && wine setup.exe >"$RUN/wine.log" 2>&1) &
SETUP_PID=$!

if [ "$attended" = 0 ]; then
    # Agrees with a mouse click and photographs each stage.
    $HOST_PYTHON "$ROOT/scripts/drive-sample.py" "$BUILD/bin/winlist.exe" "$SHOTS" || true
fi

if ! timeout 180 tail --pid="$SETUP_PID" -f /dev/null; then
    log "setup did not finish within 3 minutes"
    exit 1
fi
wait "$SETUP_PID" && status=0 || status=$?
log "setup.exe exited with code $status"

echo
log "installed below C:\\Program Files\\Harbour Atlas ($DEST):"
(cd "$DEST" && find . -type f | sed 's|^\./|    |' | sort)
echo
log "shortcuts:"
find "$WINEPREFIX/drive_c" -path '*Harbour Atlas*' -name '*.lnk' 2>/dev/null | while read -r link; do
    echo "    ${link#"$WINEPREFIX/"}"
    lnkinfo "$link" 2>/dev/null |
        grep -E 'Description|Relative path|Working directory|Command line arguments|Local path' |
        sed 's/^[[:space:]]*/        /'
done
if [ -f "$DEST/ATLAS.INI" ]; then
    echo
    log "settings written to ATLAS.INI:"
    sed 's/^/    /' "$DEST/ATLAS.INI"
fi
if [ -f "$DEST/demo-launch.txt" ]; then
    echo
    log "the demonstration was started as:"
    sed 's/^/    /' "$DEST/demo-launch.txt"
fi
if [ "$attended" = 0 ]; then
    echo
    log "screenshots are in $SHOTS"
fi
