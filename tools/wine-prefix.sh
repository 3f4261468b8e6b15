#!/bin/bash
# Throwaway Wine prefix for tests, inside the build tree.
#   wine-prefix.sh init <dir>  - create (once), set up fonts, keep wineserver alive
#   wine-prefix.sh stop <dir>  - stop that prefix's wineserver
set -euo pipefail
action="$1"
export WINEPREFIX="$2"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
case "$action" in
init)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1
        # Tahoma has no Hangul/Han/Kana glyphs under Wine; link a font that has.
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
            /v Tahoma /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
        wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
            /v 'Microsoft Sans Serif' /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
    fi
    # Keep the server alive between test programs so each starts quickly.
    wineserver -p </dev/null >/dev/null 2>&1 || true  # already running is fine
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
