#!/usr/bin/env bash
# CTest's emulator for the Windows builds: runs one Windows program under wine64 in the build
# folder's own prefix, with a virtual display when none is given, and returns its exit code.
set -u

if [ -z "${KY_BUILD_DIR:-}" ]; then
    # Run by hand: the build folder is the nearest parent of the program that holds a CMake cache.
    dir=$(cd "$(dirname "$1")" && pwd)
    while [ "$dir" != "/" ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
    [ -f "$dir/CMakeCache.txt" ] || { echo "wine-run: no build folder above $1" >&2; exit 2; }
    KY_BUILD_DIR=$dir
fi
export KY_BUILD_DIR
. "$(dirname "$0")/wine-env.sh"

ky_wine_prefix

own_xvfb=
if [ -z "${DISPLAY:-}" ]; then
    if [ -f "$KY_XVFB_STATE" ] && read -r shared_display shared_pid <"$KY_XVFB_STATE" \
        && ky_is_process "$shared_pid" Xvfb; then
        export DISPLAY=$shared_display
    else
        read -r DISPLAY own_xvfb < <(ky_start_xvfb)
        [ -n "$own_xvfb" ] || exit 1
        export DISPLAY
    fi
fi

# Test programs find their output folder through this variable, in Windows form.
if [ -n "${KY_TEST_RESULTS:-}" ]; then
    mkdir -p "$KY_TEST_RESULTS"
    KY_TEST_RESULTS="Z:$(printf '%s' "$KY_TEST_RESULTS" | tr '/' '\\')"
    export KY_TEST_RESULTS
fi
# GoogleTest's report path likewise: a path without a drive would be taken as relative.
case "${GTEST_OUTPUT:-}" in
xml:/*)
    GTEST_OUTPUT="xml:Z:$(printf '%s' "${GTEST_OUTPUT#xml:}" | tr '/' '\\')"
    export GTEST_OUTPUT ;;
esac

# Wine writes its default font links again whenever a program starts under another code page
# than the last one (a test run with another LANG): the prefix's link to DejaVu Sans is put back
# before every program, under the program's own locale, so that the program finds it.
ky_wine_font_links || true

# Wine's own helper processes (services, the desktop window) are started by the first program
# that needs them and outlive it; they must not hold CTest's output pipe open, or the test never
# ends. So the program writes to a file that is streamed to our output while it runs.
run_once() {
    out=$(mktemp "${KY_BUILD_DIR}/wine-run.XXXXXX")
    "$KY_WINE" "$@" >"$out" 2>&1 </dev/null &
    pid=$!
    trap 'kill $pid 2>/dev/null' TERM INT
    tail -n +1 -f --pid=$pid "$out" &
    tailpid=$!
    wait $pid
    rc=$?
    wait $tailpid
    [ -s "$out" ] && wrote=1 || wrote=0
    rm -f "$out"
}
run_once "$@"
# A program that failed without writing a single line most likely never ran: Wine could not
# start it (seen once, in a fresh build folder, while another program started at the same
# moment). It is started once more, and says so; a program that really fails that way fails again.
if [ "$rc" -ne 0 ] && [ "$wrote" -eq 0 ]; then
    echo "wine-run: $1 ended with code $rc before writing anything; starting it once more"
    run_once "$@"
fi
[ "$rc" -eq 0 ] || echo "wine-run: $(basename "$1") ended with code $rc"

if [ -n "$own_xvfb" ]; then
    # Only a run by hand starts its own display; let Wine's processes go before it does.
    "$KY_WINESERVER" -k >/dev/null 2>&1
    kill "$own_xvfb" 2>/dev/null
fi
exit $rc
