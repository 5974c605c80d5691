#!/usr/bin/env bash
# The demo: one run of the product from end to end under Wine, as a user has it. The install
# helper's "/install" writes the desktop shortcuts and starts the loader host; the plug-in shows
# the welcome and language wizard and the progress of a throttled download from a loopback server,
# and the payload is installed into the user's profile. A scripted user goes through the wizards
# (or a person does, with --interactive) and captures every page; the summary compares the
# statistics requests, the host's exit code, the installed files and the shortcuts with what the
# run should give and exits non-zero on any difference.
#
#   tools/demo.sh [--cancel] [--interactive] [--short] [--lang CODE] [--size MIB] [--rate KIB]
#                 [--no-build] [--build-dir DIR] [--root DIR]
#
#   --cancel       the user presses Cancel during the download and Yes in the question: the host
#                  ends with code 9 and nothing stays installed
#   --interactive  no scripted user: a person drives the same run on $DISPLAY
#   --short        1 MiB at 256 KiB/s instead of 4 MiB at 512 KiB/s (the test command's runs)
#   --size, --rate the payload's size in MiB and the server's rate in KiB/s
#   --lang CODE    the language the scripted user picks (default de)
#   --no-build     no setup, no configure, no build: the build folder as it is
#   --build-dir    the build folder to take the files from (default build/win32, or build/win64
#                  where 32-bit programs cannot run)
#   --root DIR     the demo folder (default build/demo): the files, the prefix and the results
set -uo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
started=$(date +%s)

mode=normal
interactive=0
short=0
language=de
size=
rate=
build=1
build_dir=
root=
while [ $# -gt 0 ]; do
    case "$1" in
    --cancel) mode=cancel ;;
    --interactive) interactive=1 ;;
    --short) short=1 ;;
    --lang) language=$2; shift ;;
    --size) size=$2; shift ;;
    --rate) rate=$2; rate_given=1; shift ;;
    --no-build) build=0 ;;
    --build-dir) build_dir=$(cd "$2" 2>/dev/null && pwd) || { echo "demo: no folder $2" >&2; exit 2; }; shift ;;
    --root) root=$2; shift ;;
    -h|--help) sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "demo: unknown argument $1 (see --help)" >&2; exit 2 ;;
    esac
    shift
done
if [ "$interactive" = 1 ] && [ -z "${DISPLAY:-}" ]; then
    echo "demo: --interactive needs a display (DISPLAY is not set)" >&2
    exit 2
fi
# About eight seconds of download (four with --short), long enough to watch the figures change. A
# cancel run ends soon after the user's cancel, a third of the way in: its download runs at half
# the rate, so that a slow machine still answers the question long before the download could end.
if [ "$short" = 1 ]; then
    size=${size:-1}; rate=${rate:-256}
else
    size=${size:-4}; rate=${rate:-512}
fi
[ "$mode" = cancel ] && [ -z "${rate_given:-}" ] && rate=$((rate / 2))

say() { echo "demo: $*"; }
# A Linux path in the form Wine's programs take it (drive Z: is the root).
winpath() { printf 'Z:%s' "$(printf '%s' "$1" | tr '/' '\\')"; }

# --- What it needs: packages, a configured build, the demo's targets ------------------------------
notes=()
if [ "$build" = 1 ]; then
    if [ "${KY_SKIP_SETUP:-0}" != 1 ]; then
        tools/setup-deps.sh || { echo "demo: setup failed" >&2; exit 1; }
    fi
    configure() {
        say "configuring $1"
        cmake --preset "$1" ${KY_TEST_PORT_BASE:+-DKY_TEST_PORT_BASE=$KY_TEST_PORT_BASE} \
            >"build-$1.configure.log" 2>&1 || { cat "build-$1.configure.log"; return 1; }
        rm -f "build-$1.configure.log"
    }
    if [ -z "$build_dir" ]; then
        configure win32 || exit 1
        build_dir=$repo/build/win32
        # Where 32-bit programs cannot run, the 64-bit twin runs instead.
        case "$(cat build/win32/wine32-status 2>/dev/null)" in
        skipped*)
            configure win64 || exit 1
            build_dir=$repo/build/win64 ;;
        esac
    fi
    targets=(demo)
    # The shipped files as the bundle lays them out, where the build has that target.
    if ninja -C "$build_dir" -t targets all 2>/dev/null | grep -q '^bundle: '; then
        targets+=(bundle)
    fi
    say "building ${targets[*]} in $build_dir"
    cmake --build "$build_dir" -j2 --target "${targets[@]}" >"$build_dir/demo-build.log" 2>&1 ||
        { tail -40 "$build_dir/demo-build.log"; echo "demo: the build failed" >&2; exit 1; }
fi
if [ -z "$build_dir" ]; then
    build_dir=$repo/build/win32
    case "$(cat build/win32/wine32-status 2>/dev/null)" in
    skipped*) build_dir=$repo/build/win64 ;;
    esac
fi
[ -f "$build_dir/CMakeCache.txt" ] || { echo "demo: $build_dir is not a build folder" >&2; exit 1; }
bin=$build_dir/bin
arch=win64
[ -r "$build_dir/wine-arch" ] && read -r arch <"$build_dir/wine-arch"
status32=$(cat "$(dirname "$build_dir")/win32/wine32-status" 2>/dev/null || true)
if [ "$arch" = win32 ]; then
    how="32-bit Wine (${status32:-32-bit programs run here}), files of $build_dir"
else
    how="the 64-bit twin under wine64, files of $build_dir"
    case "$status32" in
    natively*|emulated*) notes+=("64-bit twin: asked for, although 32-bit programs run here ($status32)") ;;
    *) notes+=("64-bit twin: 32-bit Wine cannot run here (${status32:-the 32-bit build is not configured})") ;;
    esac
fi

cache() { sed -n "s/^$1:[A-Z]*=//p" "$build_dir/CMakeCache.txt"; }
base=$(cache KY_TEST_PORT_BASE)
stats_url=$(cache KY_STATS_URL)
download_port=$((base + 20))
stats_port=
if [[ "$stats_url" =~ ^http://127\.0\.0\.1:([0-9]+)$ ]]; then
    stats_port=${BASH_REMATCH[1]}
elif [ -n "$stats_url" ]; then
    notes+=("the build sends its statistics to $stats_url, which the demo does not record")
fi

# --- The demo folder -------------------------------------------------------------------------------
suffix=
[ "$arch" = win32 ] || suffix=64
root=${root:-$repo/build/demo}
mkdir -p "$root"
root=$(cd "$root" && pwd)
app=$root/app$suffix
prefix=$root/wineprefix$suffix
run_name=$mode
[ "$interactive" = 1 ] && run_name=interactive-$mode
out=$root/$run_name$suffix
rm -rf "$app" "$out"
mkdir -p "$app" "$out"

shipped=(fetchwellGUI.dll brisco-install.exe briscoinstallrc.dll rcimage.dll
         fetchwellGUI_en.dll fetchwellGUI_de.dll fetchwellGUI_fr.dll fetchwellGUI_ru.dll
         fetchwellGUI_he.dll brisco.ico brisco_uninstall.ico Uninstall.vbs)
bundle=$build_dir/bundle/fetchwell-client
if [ -d "$bundle" ]; then
    cp -rp "$bundle"/. "$app"/
    source_text="the bundle ($bundle)"
    if [ -f "$app/MANIFEST.sha256" ]; then
        # Its lines are "<sha256>  <size>  <name>": the digest and the size of each file.
        (cd "$app" && awk '{ print $1 "  " $3 }' MANIFEST.sha256 | sha256sum --quiet -c - >/dev/null 2>&1 &&
            while read -r _ size name; do [ "$(stat -c %s "$name")" = "$size" ] || exit 1; done \
                <MANIFEST.sha256) ||
            notes+=("the bundle's files do not match its MANIFEST.sha256")
    fi
else
    for f in "${shipped[@]}"; do
        if [ -f "$bin/$f" ]; then
            cp -p "$bin/$f" "$app/"
        fi
    done
    # The build's plug-in is unsigned; the loader host loads only a signed one, as its tests do.
    if [ -f "$bin/loader_tests/signed/fetchwellGUI.dll" ]; then
        cp -p "$bin/loader_tests/signed/fetchwellGUI.dll" "$app/"
    fi
    source_text="$bin (no bundle in this build)"
fi
for f in "${shipped[@]}"; do
    [ -f "$app/$f" ] || notes+=("$f is missing from the shipped files: left out")
done
# The loader host's side: the signed stand-in host, its library and the control file.
cp -p "$bin/demo/fetchwell.exe" "$bin/fetchwell.dll" "$app/" 2>/dev/null
cp -p "$bin/lang-data/loadercontrol.xml" "$app/" 2>/dev/null
for f in fetchwell.exe fetchwell.dll loadercontrol.xml; do
    [ -f "$app/$f" ] || { echo "demo: $f is missing (build the demo target)" >&2; exit 1; }
done
# What the deliverables check before they start or load a file.
kysign=$build_dir/host-tools/bin/kysign
if [ -x "$kysign" ]; then
    for f in fetchwell.exe fetchwellGUI.dll rcimage.dll fetchwellGUI_en.dll fetchwellGUI_de.dll \
             fetchwellGUI_fr.dll fetchwellGUI_ru.dll fetchwellGUI_he.dll; do
        [ -f "$app/$f" ] || continue
        "$kysign" verify "$app/$f" >/dev/null 2>&1 && continue
        if [ "$f" = fetchwellGUI.dll ] && [ -f "$bin/loader_tests/signed/fetchwellGUI.dll" ]; then
            cp -p "$bin/loader_tests/signed/fetchwellGUI.dll" "$app/"
            notes+=("fetchwellGUI.dll of the shipped files is unsigned: the build's signed copy is used")
        else
            notes+=("$f does not pass the signature check")
        fi
    done
fi

payload=$root/payload-$size.fwpk
python3 tools/demo/demo.py payload "$payload" "$size" >/dev/null || exit 1
payload_kib=$(( $(stat -c %s "$payload") / 1024 ))
payload_files=$(python3 -c 'import json,sys; print(len(json.load(open(sys.argv[1]))))' "$payload.json")

# --- Servers, display, prefix; everything stopped again on the way out -----------------------------
pids=()
xvfb_pid=
cleanup() {
    if [ -n "${KY_WINESERVER:-}" ] && [ -d "$prefix" ]; then
        WINEPREFIX=$prefix "$KY_WINESERVER" -k >/dev/null 2>&1
    fi
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    [ -n "${watcher:-}" ] && kill "$watcher" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Free as the servers see it: they reuse an address that closed connections still hold.
port_free() {
    python3 -c 'import socket, sys
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1])))
s.listen()' "$1" 2>/dev/null
}
wait_ready() {
    for _ in $(seq 100); do
        [ -s "$1" ] && return 0
        kill -0 "$2" 2>/dev/null || break
        sleep 0.1
    done
    echo "demo: $3 did not start:" >&2
    cat "$4" >&2
    return 1
}
# The servers stop by themselves at the latest after this, whatever happens to this script.
lifetime=900
[ "$short" = 1 ] && lifetime=300
for port in "$download_port" $stats_port; do
    port_free "$port" || { echo "demo: port $port is in use (another demo or a test's server?)" >&2; exit 1; }
done
python3 testing/download_server/download_server.py "$download_port" "$size" "$rate" \
    --payload "$payload" --lifetime "$lifetime" --ready "$out/download-server.ready" \
    >"$out/download-server.log" 2>&1 </dev/null &
pids+=($!)
wait_ready "$out/download-server.ready" "$!" "the download server" "$out/download-server.log" || exit 1
stats_record=$out/statistics.jsonl
: >"$stats_record"
if [ -n "$stats_port" ]; then
    python3 testing/stats_server/stats_server.py "$stats_port" "$stats_record" \
        --lifetime "$lifetime" --ready "$out/stats-server.ready" \
        >"$out/stats-server.log" 2>&1 </dev/null &
    pids+=($!)
    wait_ready "$out/stats-server.ready" "$!" "the statistics server" "$out/stats-server.log" || exit 1
fi
rm -f "$out"/*.ready

export KY_BUILD_DIR=$build_dir KY_WINE_PREFIX=$prefix
. testing/wine/wine-env.sh
# The user's language under Wine follows the locale: English (the welcome page's, the one the
# language page preselects and the helper's shortcut names).
export LANG=C.UTF-8
unset LC_ALL LC_MESSAGES LANGUAGE
if [ -z "${DISPLAY:-}" ]; then
    read -r DISPLAY xvfb_pid < <(ky_start_xvfb)
    [ -n "$xvfb_pid" ] || exit 1
    export DISPLAY
fi
# A watcher stops the prefix's programs, the display and the servers should this script be killed
# without reaching its cleanup.
setsid bash -c 'while kill -0 "$1" 2>/dev/null; do sleep 2; done
    WINEPREFIX=$2 "$3" -k; shift 3; kill "$@"' ky-demo-watcher "$$" "$prefix" "$KY_WINESERVER" \
    "${pids[@]}" $xvfb_pid >/dev/null 2>&1 </dev/null &
watcher=$!

prefix_start=$(date +%s)
ky_wine_prefix || { echo "demo: the Wine prefix $prefix could not be made" >&2; exit 1; }
"$KY_WINESERVER" -p >/dev/null 2>&1 </dev/null
ky_wine_font_links >/dev/null 2>&1
say "prefix $prefix ready ($(( $(date +%s) - prefix_start )) s), display $DISPLAY"

# --- The run -------------------------------------------------------------------------------------
user_exe=$bin/demo_user.exe
wine_out=$(winpath "$out")
"$KY_WINE" "$user_exe" paths "$wine_out" >"$out/user-paths.log" 2>&1 </dev/null
mv -f "$out/report.txt" "$out/paths.txt" 2>/dev/null
python3 tools/demo/demo.py clean "$prefix" "$out/paths.txt" || exit 1

if [ "$interactive" = 1 ]; then
    user_mode=watch
    timeout=1800
    say "drive the wizards on display $DISPLAY; the summary follows when the loader host ends"
else
    user_mode=drive
    [ "$mode" = cancel ] && user_mode=cancel
    timeout=180
    [ "$short" = 1 ] && timeout=90
fi
run_start=$(date +%s)
"$KY_WINE" "$user_exe" "$user_mode" "$wine_out" "--lang=$language" "--payload-kib=$payload_kib" \
    "--timeout=$timeout" >"$out/user.log" 2>&1 </dev/null &
user_pid=$!
pids+=($user_pid)
say "brisco-install.exe /install ($mode run, $size MiB at $rate KiB/s from http://127.0.0.1:$download_port/ok/payload.bin)"
(cd "$app" && "$KY_WINE" "$app/brisco-install.exe" /install >"$out/helper.log" 2>&1 </dev/null)
helper_exit=$?
wait "$user_pid"
[ "$interactive" = 1 ] || cat "$out/user.log" | grep '^\[demo user' | sed 's/^/  /'
run_seconds=$(( $(date +%s) - run_start ))
# Every request has arrived: the plug-in waits for them at the end of each wizard, and the host
# has ended.
for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
pids=()
python3 tools/demo/demo.py compact "$out"/*.png 2>/dev/null

summary_args=(--mode "$mode" --report "$out/report.txt" --stats "$stats_record"
    --manifest "$payload.json" --prefix "$prefix" --app-win "$(winpath "$app")\\"
    --strings resources/briscoinstallrc.rc --helper-exit "$helper_exit" --captures "$out"
    --out "$out/summary.txt" --host-build "$(cache KY_LOADER_HOST_VERSION)"
    --about "run:        $how"
    --about "demo files: $app, shipped files from $source_text, stand-ins fetchwell.exe, fetchwell.dll, loadercontrol.xml"
    --about "payload:    $payload_files files, $payload_kib KiB, at $rate KiB/s from 127.0.0.1:$download_port"
    --about "statistics: ${stats_port:+recorded on 127.0.0.1:$stats_port, }$stats_record"
    --about "took:       $run_seconds s from the helper's start to the host's end, $(( $(date +%s) - started )) s in all")
[ "$interactive" = 1 ] && summary_args+=(--interactive)
[ -z "$stats_port" ] && summary_args+=(--stats-off)
for n in "${notes[@]}"; do summary_args+=(--note "$n"); done
echo
python3 tools/demo/demo.py summary "${summary_args[@]}"
exit $?
