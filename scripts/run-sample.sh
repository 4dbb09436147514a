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
DEST="$WINEPREFIX/drive_c/Program Files/KarveloEngine"

shot() {
    import -display "$DISPLAY" -window root "$SHOTS/$1.png" 2>/dev/null &&
        log "screenshot $SHOTS/$1.png"
}

# The window id of a top-level window whose name matches, or nothing.
find_window() {
    xdotool search --name "$1" 2>/dev/null | head -n 1
}

wait_window() {
    local pattern=$1 seconds=$2 id=
    for _ in $(seq 1 $((seconds * 10))); do
        id=$(find_window "$pattern")
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

wait_until_gone() {
    local id=$1 seconds=$2
    for _ in $(seq 1 $((seconds * 10))); do
        xdotool getwindowname "$id" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}

log "installing Harbour Atlas from $RUN/distribution"
(cd "$RUN/distribution" && wine setup.exe >"$RUN/wine.log" 2>&1) &
SETUP_PID=$!

# The setup's own dialogs and message boxes carry this caption.
STATUS='^KARVELO SETUP$'
if [ "$attended" = 0 ]; then
    if dialog=$(wait_window "$STATUS" 60); then
        sleep 1
        shot 1-agreement
        # The default button has the focus: Enter agrees, as a user's would.
        xdotool windowfocus --sync "$dialog" 2>/dev/null || true
        xdotool key --window "$dialog" Return
        # The preparing dialog follows, shows for about 4 s, and gives way to
        # the copy window; then the shortcut dialog shows for about 4 s.
        wait_until_gone "$dialog" 10
        if wait_window "$STATUS" 20 >/dev/null; then
            sleep 1
            shot 2-preparing
            wait_until_gone "$(find_window "$STATUS")" 20
            sleep 0.4
            shot 3-copying
        fi
        if wait_window "$STATUS" 60 >/dev/null; then
            sleep 1
            shot 4-shortcuts
        fi
    else
        log "the agreement dialog did not appear"
    fi
fi

if ! timeout 180 tail --pid="$SETUP_PID" -f /dev/null; then
    log "setup did not finish within 3 minutes"
    exit 1
fi
wait "$SETUP_PID" && status=0 || status=$?
log "setup.exe exited with code $status"
if [ "$attended" = 0 ]; then
    sleep 2
    shot 5-demonstration
fi

echo
log "installed below C:\\Program Files\\KarveloEngine ($DEST):"
(cd "$DEST" && find . -type f | sed 's|^\./|    |' | sort)
echo
log "shortcuts:"
find "$WINEPREFIX/drive_c" -path '*Harbour Atlas*' -name '*.lnk' 2>/dev/null | while read -r link; do
    echo "    ${link#"$WINEPREFIX/"}"
    lnkinfo "$link" 2>/dev/null | grep -E 'Description|Relative path|Command line arguments|Local path' |
        sed 's/^[[:space:]]*/        /'
done
if [ -f "$DEST/demo-launch.txt" ]; then
    echo
    log "the demonstration was started as:"
    sed 's/^/    /' "$DEST/demo-launch.txt"
fi
if [ "$attended" = 0 ]; then
    echo
    log "screenshots are in $SHOTS"
fi
