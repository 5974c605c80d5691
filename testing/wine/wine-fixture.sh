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
        if ! { [ -f "$KY_XVFB_STATE" ] && read -r d p <"$KY_XVFB_STATE" && kill -0 "$p" 2>/dev/null; }; then
            ky_start_xvfb >"$KY_XVFB_STATE"
        fi
    fi
    # One server for the whole run instead of one start-up per test program.
    "$KY_WINESERVER" -p >/dev/null 2>&1 </dev/null
    echo "wine prefix ${WINEPREFIX} ready${DISPLAY:+ on display ${DISPLAY}}"
    ;;
stop)
    "$KY_WINESERVER" -k >/dev/null 2>&1
    if [ -f "$KY_XVFB_STATE" ] && read -r d p <"$KY_XVFB_STATE"; then
        kill "$p" 2>/dev/null
        rm -f "$KY_XVFB_STATE"
    fi
    echo "wine prefix ${WINEPREFIX} stopped"
    ;;
*)
    echo "usage: $0 start|stop BUILD_DIR" >&2
    exit 2
    ;;
esac
