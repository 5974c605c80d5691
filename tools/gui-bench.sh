#!/usr/bin/env bash
# The benchmarks of the shipped files under Wine: the plug-in through the C host (notifications per
# second to the progress page, StartProgress's time, what the host process holds after 100 and
# after 100,000 notifications) and the install helper's "/install" (from its process start to the
# loader host's). They print figures beside their goals; the exit code says only whether every
# call did what it must, never whether a goal was met. Not part of the test command.
#
#   tools/gui-bench.sh              # the 64-bit build, then the 32-bit one where 32-bit Wine runs
#   tools/gui-bench.sh win32        # one build
#
# Builds what it runs in build/<preset> (configuring the preset first when its folder is missing).
# Run it at a quiet moment and not while a ctest of the same build folder runs: it uses that
# folder's Wine prefix, and the install benchmark points the prefix user's desktop folder at a
# folder of its own while it runs (and puts the setting back).
set -u
cd "$(dirname "$0")/.."

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(win64 win32)

status=0
for preset in "${presets[@]}"; do
    case "$preset" in
    win64 | win32) ;;
    *) echo "gui-bench: unknown preset $preset (win64 or win32)" >&2; exit 2 ;;
    esac
    build=build/$preset
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake --preset "$preset" >/dev/null || { status=1; continue; }
    fi
    if [ "$preset" = win32 ]; then
        line=$(cat "$build/wine32-status" 2>/dev/null || echo "unknown")
        case "$line" in
        skipped* | unknown)
            echo "== $preset: skipped, 32-bit programs do not run here ($line)"
            continue ;;
        esac
    fi
    cmake --build --preset "$preset" -j2 --target gui_bench install_bench >/dev/null ||
        { echo "gui-bench: the $preset build failed" >&2; status=1; continue; }
    echo "== $preset build, $(date -u '+%Y-%m-%d %H:%M UTC'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
    for program in gui_bench install_bench; do
        # Wine's note about the drive's volume label (the shell link reads it) is not ours.
        testing/wine/wine-run.sh "$build/bin/$program.exe" 2>&1 |
            grep -v 'FS volume label and serial are not available'
        [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
    done
done
exit $status
