#!/bin/bash
# Installs what is needed, builds Pelmora.exe and runs it under Wine in a
# demo prefix (build/demo/wineprefix), pointed at the bundled sample update
# server (tools/sample-server, served on 127.0.0.1 by tools/test_server).
# With no display it runs under Xvfb,
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
    bash tools/test_server/test-server.sh stop "$demo/server" >/dev/null 2>&1 || true
    WINEPREFIX="$demo/wineprefix" wineserver -k 2>/dev/null || true
    [ -n "$own_xvfb" ] && kill "$own_xvfb" 2>/dev/null || true
}
trap cleanup EXIT

# The sample update server: start it on a free port, then write the tree
# whose catalogue names URLs on that port.
bash tools/test_server/test-server.sh start "$demo/server" >/dev/null
port="$(cat "$demo/server/port")"
base_url="http://127.0.0.1:$port/tools/"
rm -rf "$demo/server/root/tools"
python3 tools/sample-server/make_sample_tree.py "$demo/server/root" "$base_url" >/dev/null
export PELMORA_BASE_URL="$base_url"
echo "Sample update server: $base_url (files in $demo/server/root/tools)"

bash tools/wine-prefix.sh init "$demo/wineprefix"
export WINEPREFIX="$demo/wineprefix" WINEDEBUG=-all
export PELMORA_LOG="Z:${demo//\//\\}\\pelmora.log"
driver="$root/build/win/tools/driver/pelmora_driver.exe"

rm -f "$demo/pelmora.log"
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
