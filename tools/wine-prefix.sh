#!/bin/bash
# Throwaway Wine prefix for tests, inside the build tree.
#   wine-prefix.sh init <dir>  - create (once), set up fonts, keep wineserver alive
#   wine-prefix.sh stop <dir>  - stop that prefix's wineserver
set -euo pipefail
action="$1"
export WINEPREFIX="$2"
export WINEDEBUG=-all
# winemenubuilder mirrors installers' shortcuts into a Linux menu; it crashes here and
# leaves a "Program Error" box on the desktop the tests look at.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
link='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
# Tahoma has no Hangul/Han/Kana glyphs under Wine; link a font that has.
link_cjk_font() {
    for face in Tahoma 'Microsoft Sans Serif' 'MS Shell Dlg' 'MS Shell Dlg 2'; do
        wine reg add "$link" /v "$face" /t REG_MULTI_SZ \
            /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1 || return 1
    done
}
# The prefix's first set-up; false, naming the step, when one failed (set -e
# does not reach into a function whose result is tested).
failed() { echo "wine-prefix: $1 failed" >&2; return 1; }
first_boot() {
    mkdir -p "$WINEPREFIX" || failed mkdir || return 1
    wineboot -i >/dev/null 2>&1 || failed wineboot || return 1
    # Let the first boot, and the first font set-up (done by the first
    # process that loads gdi32), write their registry defaults now, or
    # they overwrite the font links set below.
    wineserver -w || failed "wineserver -w (boot)" || return 1
    wine rundll32.exe gdi32.dll,GdiFlush >/dev/null 2>&1 || true
    wineserver -w || failed "wineserver -w (fonts)" || return 1
    link_cjk_font || failed "font links" || return 1
    # No window manager under Xvfb: let Wine draw captions and frames itself.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 ||
        failed "X11 driver key" || return 1
    wineserver -w || failed "wineserver -w (keys)" || return 1
    touch "$WINEPREFIX/.pelmora-ready"
}
case "$action" in
init)
    # A first boot on a busy machine now and then fails half-way; it can be
    # done again over what it left, so one more try after stopping its server.
    for attempt in 1 2; do
        [ -f "$WINEPREFIX/.pelmora-ready" ] && break
        if ! first_boot; then
            echo "wine-prefix: first boot of $WINEPREFIX failed (attempt $attempt)" >&2
            wineserver -k 2>/dev/null || true
            [ "$attempt" = 2 ] && exit 1
        fi
    done
    # Keep the server alive between test programs so each starts quickly, and
    # start Wine's own services now, detached from any test's output: started
    # later by a test program, they would hold its output pipe open and the
    # test runner would wait for them forever.
    wineserver -p </dev/null >/dev/null 2>&1 || true  # already running is fine
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    # Wine writes its own font links again when it redoes its font set-up,
    # as it does after a run in another locale (LANG); put ours back.
    if ! wine reg query "$link" /v Tahoma 2>/dev/null | grep -q wqy-microhei; then
        link_cjk_font  # the running server holds the registry: later processes see it
    fi
    exit 0
    ;;
stop)
    [ -d "$WINEPREFIX" ] && wineserver -k || true
    ;;
*)
    echo "usage: $0 init|stop <prefix>" >&2
    exit 2
    ;;
esac
