#!/bin/bash
# Installs what is needed, builds Pelmora.exe and runs it under Wine in a
# demo prefix (build/demo/wineprefix). With no display it runs under Xvfb,
# takes screenshots into build/demo/screenshots/ and closes Pelmora again;
# with a display it waits until you close Pelmora.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash tools/install-deps.sh
bash tools/build.sh win

demo="$root/build/demo"
shots="$demo/screenshots"
mkdir -p "$shots"
own_xvfb=""
if [ -z "${DISPLAY:-}" ]; then
    read -r display own_xvfb < <(bash tools/xvfb.sh)
    export DISPLAY="$display"
fi
cleanup() {
    [ -n "${pelmora_pid:-}" ] && kill "$pelmora_pid" 2>/dev/null || true
    WINEPREFIX="$demo/wineprefix" wineserver -k 2>/dev/null || true
    [ -n "$own_xvfb" ] && kill "$own_xvfb" 2>/dev/null || true
}
trap cleanup EXIT

bash tools/wine-prefix.sh init "$demo/wineprefix"
export WINEPREFIX="$demo/wineprefix" WINEDEBUG=-all
export PELMORA_LOG="Z:${demo//\//\\}\\pelmora.log"
driver="$root/build/win/tools/driver/pelmora_driver.exe"

echo "Starting Pelmora (log: $demo/pelmora.log)"
wine "$root/build/win/Pelmora.exe" &
pelmora_pid=$!
hwnd="$(wine "$driver" wait-window "Pelmora v1.3.2" 60000 || true)"

if [ -n "$own_xvfb" ]; then
    sleep 2
    import -window root "$shots/pelmora.png"
    echo "No display: ran under Xvfb. Screenshot: $shots/pelmora.png"
    [ -n "$hwnd" ] && wine "$driver" close "$hwnd" >/dev/null || true
    wait "$pelmora_pid" || true
    pelmora_pid=""
else
    echo "Pelmora is running on $DISPLAY; close its window to end the demo."
    wait "$pelmora_pid" || true
    pelmora_pid=""
fi
