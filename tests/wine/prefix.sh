# Sourced by tests: gives each test its own Wine prefix, X display and
# wineserver, and stops exactly those when the test ends.
#
#   wine_test_start [win64|win32]   sets WINEPREFIX, DISPLAY, WINE_TEST_DIR
#
# A base prefix per architecture is made once per build tree (about 15 s)
# and copied for every test; the large, read-only system DLL folders are
# hard-linked instead of copied.

WINE_TEST_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WINE_BASE_DIR=${WINE_BASE_DIR:-$WINE_TEST_REPO/build/wine-base}
export WINEDEBUG=${WINEDEBUG:--all}

wine_base_prefix() {
    local arch=$1 base=$WINE_BASE_DIR/$1
    mkdir -p "$WINE_BASE_DIR"
    (
        flock 9
        if [ ! -f "$base/.ready" ]; then
            rm -rf "$base"
            # No Mono or Gecko: nothing here needs them, and asking for them stalls.
            WINEARCH=$arch WINEPREFIX=$base WINEDLLOVERRIDES='mscoree=;mshtml=' \
                wineboot -i >/dev/null 2>&1
            # Without a window manager Wine waits ~2 s before showing each
            # window; unmanaged windows appear at once.
            WINEPREFIX=$base wine reg add 'HKCU\Software\Wine\X11 Driver' \
                /v Managed /d N /f >/dev/null 2>&1
            WINEPREFIX=$base wineserver -w
            touch "$base/.ready"
        fi
    ) 9>"$WINE_BASE_DIR/$arch.lock"
    echo "$base"
}

wine_copy_prefix() {
    local base=$1 target=$2 dir
    mkdir -p "$target"
    for entry in "$base"/* "$base"/.[!.]*; do
        [ -e "$entry" ] || continue
        [ "$(basename "$entry")" = drive_c ] || cp -a "$entry" "$target/"
    done
    mkdir -p "$target/drive_c"
    for entry in "$base"/drive_c/*; do
        [ "$(basename "$entry")" = windows ] || cp -a "$entry" "$target/drive_c/"
    done
    mkdir -p "$target/drive_c/windows"
    for entry in "$base"/drive_c/windows/*; do
        dir=$(basename "$entry")
        case $dir in
            system32 | syswow64) cp -al "$entry" "$target/drive_c/windows/" ;;
            *) cp -a "$entry" "$target/drive_c/windows/" ;;
        esac
    done
}

wine_test_stop() {
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        # Wait until the server is really gone: a server is found by the
        # prefix folder's inode, which the next test's new folder may reuse.
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
    fi
    if [ -n "${WINE_TEST_XVFB_PID:-}" ]; then
        kill "$WINE_TEST_XVFB_PID" 2>/dev/null || true
        wait "$WINE_TEST_XVFB_PID" 2>/dev/null || true
    fi
    [ -n "${WINE_TEST_DIR:-}" ] && rm -rf "$WINE_TEST_DIR"
    return 0
}

wine_test_start() {
    local arch=${1:-win64} base displayfile
    base=$(wine_base_prefix "$arch")
    WINE_TEST_DIR=$(mktemp -d "${TMPDIR:-/tmp}/wrapper-test.XXXXXX")
    export WINE_TEST_DIR
    export WINEPREFIX=$WINE_TEST_DIR/prefix
    # Wine's launcher through the one that starts a program again when Wine
    # failed to start it (see there).
    case ":$PATH:" in
        *":$WINE_TEST_REPO/tests/wine/bin:"*) ;;
        *) export PATH=$WINE_TEST_REPO/tests/wine/bin:$PATH ;;
    esac
    trap wine_test_stop EXIT
    wine_copy_prefix "$base" "$WINEPREFIX"

    displayfile=$WINE_TEST_DIR/display
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
    WINE_TEST_XVFB_PID=$!
    # Xvfb writes the display number once it accepts connections.
    for _ in $(seq 400); do
        [ -s "$displayfile" ] && break
        sleep 0.05
    done
    if [ ! -s "$displayfile" ]; then
        echo "wine_test_start: Xvfb gave no display within 20 s" >&2
        exit 1
    fi
    export DISPLAY=:$(head -n1 "$displayfile")
    # One server for the whole test: a program start then costs ~0.1 s, not ~2.5 s.
    wineserver -p
}
