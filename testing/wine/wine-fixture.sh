#!/usr/bin/env bash
# CTest fixture around the Windows tests: "start" prepares the prefix, a shared Xvfb (when no
# DISPLAY is set) and a persistent wineserver; "stop" ends exactly those again.
set -u
action=$1
export KY_BUILD_DIR=$2
. "$(dirname "$0")/wine-env.sh"

case "$action" in
start)
    ky_wine_prefix || exit 1
    if [ -z "${DISPLAY:-}" ]; then
        if ! { [ -f "$KY_XVFB_STATE" ] && read -r d p <"$KY_XVFB_STATE" && ky_is_process "$p" Xvfb; }; then
            ky_start_xvfb >"$KY_XVFB_STATE.new" && mv "$KY_XVFB_STATE.new" "$KY_XVFB_STATE" || exit 1
        fi
    fi
    # One server for the whole run instead of one start-up per test program.
    "$KY_WINESERVER" -p >/dev/null 2>&1 </dev/null
    # A ctest that is interrupted or killed never runs "stop", and the display and the persistent
    # server would stay for good: a watcher runs "stop" once the ctest that started them is gone.
    # Its output goes nowhere, so that it does not hold ctest's pipe open.
    if [ -f "$KY_WATCHER_STATE" ] && read -r w <"$KY_WATCHER_STATE" && ky_is_process "$w" ky-wine-watcher; then
        kill "$w" 2>/dev/null
    fi
    KY_WINE_WATCHER=1 setsid bash -c 'while kill -0 "$1" 2>/dev/null; do sleep 2; done; exec "$2" stop "$3"' \
        ky-wine-watcher "$PPID" "$0" "$KY_BUILD_DIR" >/dev/null 2>&1 </dev/null &
    echo $! >"$KY_WATCHER_STATE"
    echo "wine prefix ${WINEPREFIX} ready${DISPLAY:+ on display ${DISPLAY}}"
    ;;
stop)
    if [ -z "${KY_WINE_WATCHER:-}" ] && [ -f "$KY_WATCHER_STATE" ] && read -r w <"$KY_WATCHER_STATE" \
        && ky_is_process "$w" ky-wine-watcher; then
        kill "$w" 2>/dev/null
    fi
    rm -f "$KY_WATCHER_STATE"
    "$KY_WINESERVER" -k >/dev/null 2>&1
    if [ -f "$KY_XVFB_STATE" ] && read -r d p <"$KY_XVFB_STATE" && ky_is_process "$p" Xvfb; then
        kill "$p" 2>/dev/null
    fi
    rm -f "$KY_XVFB_STATE"
    echo "wine prefix ${WINEPREFIX} stopped"
    ;;
*)
    echo "usage: $0 start|stop BUILD_DIR" >&2
    exit 2
    ;;
esac
