# Sourced by the Wine scripts: the prefix, the overrides and the lock that every Windows test shares.
# Expects KY_BUILD_DIR to name the build folder.

# KY_WINE_PREFIX: a prefix of its own for a test that changes what the shared one must keep.
export WINEPREFIX="${KY_WINE_PREFIX:-${KY_BUILD_DIR}/wineprefix}"
# The build folder says which Wine runs its programs (written at configure time): win64 for the
# 64-bit build, win32 for the 32-bit one, in a prefix of that kind. The two never share a prefix.
KY_WINE_ARCH=win64
[ -r "${KY_BUILD_DIR}/wine-arch" ] && read -r KY_WINE_ARCH <"${KY_BUILD_DIR}/wine-arch"
export WINEARCH=$KY_WINE_ARCH
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko prompts, no desktop entries written to the Linux desktop, and no debugger for a
# program that crashes: winedbg can sit there for good, so the test would only end at its time-out
# instead of failing at once with the crash's exit code.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d;winedbg.exe=d${KY_EXTRA_DLLOVERRIDES:+;${KY_EXTRA_DLLOVERRIDES}}"
if [ "$KY_WINE_ARCH" = win32 ]; then
    # Debian's 32-bit loader (wine32:i386). The "wine" wrapper is not used: with both installed it
    # picks by itself.
    KY_WINE=/usr/lib/wine/wine
else
    KY_WINE=$(command -v wine64 || true)
    [ -n "$KY_WINE" ] || { [ -x /usr/lib/wine/wine64 ] && KY_WINE=/usr/lib/wine/wine64; }
    [ -n "$KY_WINE" ] || KY_WINE=$(command -v wine)
fi
KY_WINESERVER=$(command -v wineserver || true)
[ -n "$KY_WINESERVER" ] || KY_WINESERVER=/usr/lib/wine/wineserver
KY_XVFB_STATE="${KY_BUILD_DIR}/wineprefix.xvfb"
KY_WATCHER_STATE="${KY_BUILD_DIR}/wineprefix.watcher"

# True when pid is a live process whose command line contains text: a pid in a state file left by
# an earlier run may by now belong to an unrelated process, which must not be used or killed.
ky_is_process() {
    [ -n "$1" ] && [ -r "/proc/$1/cmdline" ] && tr '\0' ' ' <"/proc/$1/cmdline" | grep -qF -- "$2"
}

# The dialogs' font "MS Shell Dlg" is Tahoma in Wine, and this Wine finds no Tahoma of its own
# (nor has Wine's one Hebrew letters): text falls back to Liberation Sans, which has none either,
# and the template's character set does not help, since Wine's dialogs ask for DEFAULT_CHARSET.
# Windows itself completes Tahoma with other fonts through FontLink\SystemLink; the prefix links it
# to DejaVu Sans (fonts-dejavu-core: Hebrew, Arabic and more), so that right-to-left pages show
# letters instead of boxes. Glyphs Tahoma's stand-in has keep coming from it.
ky_wine_font_links() {
    "$KY_WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v Tahoma /t REG_MULTI_SZ /d 'DejaVuSans.ttf,DejaVu Sans' /f >/dev/null 2>&1
}

# Creates the prefix once; concurrent callers wait on the lock instead of racing wineboot.
ky_wine_prefix() {
    mkdir -p "${KY_BUILD_DIR}"
    (
        flock 9
        if [ ! -f "${WINEPREFIX}/system.reg" ]; then
            "$KY_WINE" wineboot --init >/dev/null 2>&1
            # Xvfb has no window manager: let Wine draw captions and frames itself, so that
            # windows look as on Windows and captures show them whole.
            "$KY_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
            "$KY_WINESERVER" -w
        fi
        # Wine links the user's desktop folder to the Linux home; programs under test write
        # shortcuts there, so the prefix gets a desktop folder of its own instead.
        for desktop in "${WINEPREFIX}"/drive_c/users/*/Desktop; do
            if [ -L "$desktop" ]; then
                rm -f "$desktop" && mkdir -p "$desktop"
            fi
        done
    ) 9>"${KY_BUILD_DIR}/wineprefix.lock"
}

# Starts Xvfb on a free display; prints "display pid".
ky_start_xvfb() {
    local fifo pid display
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 </dev/null &
    pid=$!
    read -r display <"$fifo"
    rm -f "$fifo"
    [ -n "$display" ] || { echo "wine: Xvfb did not start" >&2; return 1; }
    echo ":${display} ${pid}"
}
