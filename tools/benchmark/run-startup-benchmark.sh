#!/bin/bash
# Start-up time of Pelmora.exe under Wine: process start to the list shown
# and filled, for a catalogue of 20 programs with 100 pictures served on
# loopback through a proxy that adds round-trip time (tools/latency_proxy.py);
# first start (everything fetched) and second start (stamps unchanged) at
# each round-trip time of BENCH_RTTS (default "0 100" ms), median of
# BENCH_RUNS (default 5) each, with requests, connections and a breakdown
# per phase.
#   tools/benchmark/run-startup-benchmark.sh
# Works in build/startup-benchmark/ (own server, own Wine prefix); needs
# build/win (built when missing).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$root"
# BENCH_EXE: another Pelmora.exe to time the same way (an older build, say).
exe="${BENCH_EXE:-$root/build/win/Pelmora.exe}"
driver="$root/build/win/tools/driver/pelmora_driver.exe"
[ -f "$exe" ] && [ -f "$driver" ] || bash tools/build.sh win
work="$root/build/startup-benchmark"
mkdir -p "$work"

own_xvfb=""
if [ -z "${DISPLAY:-}" ]; then
    read -r display own_xvfb < <(bash tools/xvfb.sh)
    export DISPLAY="$display"
fi
export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
cleanup() {
    bash tools/test_server/test-server.sh stop "$work/server" >/dev/null 2>&1 || true
    if [ -f "$work/proxy/pid" ]; then kill "$(cat "$work/proxy/pid")" 2>/dev/null || true; fi
    bash tools/wine-prefix.sh stop "$WINEPREFIX" || true
    [ -n "$own_xvfb" ] && kill "$own_xvfb" 2>/dev/null || true
}
trap cleanup EXIT

bash tools/test_server/test-server.sh start "$work/server" >/dev/null
# Every fetch, pictures included, goes through the proxy: the tree names it.
rm -rf "$work/proxy"
mkdir -p "$work/proxy"
python3 tools/latency_proxy.py --target-port "$(cat "$work/server/port")" --rtt-ms 0 \
    --state-dir "$work/proxy" &
for _ in $(seq 1 100); do [ -s "$work/proxy/port" ] && break; sleep 0.05; done
[ -s "$work/proxy/port" ] || { echo "the latency proxy did not start" >&2; exit 1; }
base_url="http://127.0.0.1:$(cat "$work/proxy/port")/tools/"
rm -rf "$work/server/root/tools"
# BENCH_KEY: the maker's private key (PEM) to sign the tree with, for a Pelmora
# built with its public half (BENCH_EXE), e.g. the tests' build/win/keyed/Pelmora.exe.
key=()
[ -n "${BENCH_KEY:-}" ] && key=(--key "$BENCH_KEY" --serial 1 --expires 2099-12-31)
python3 tools/sample-server/make_sample_tree.py "$work/server/root" "$base_url" \
    --programs 20 --offer-all "${key[@]}" >/dev/null
export PELMORA_BASE_URL="$base_url"

bash tools/wine-prefix.sh init "$WINEPREFIX"
# Pelmora current, English settings, model databases current: no question
# or notice stops the start-up.
wine reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Pelmora' \
    /v DisplayVersion /d 1.3.2 /reg:64 /f >/dev/null 2>&1
tools_folder="$WINEPREFIX/drive_c/users/Public/Documents/Korvath/tools"
mkdir -p "$tools_folder"
printf 'Language:English,Server:HQ' >"$tools_folder/config.txt"
cp "$work/server/root/tools/db_version.txt" "$work"/server/root/tools/modelinfo_*.db "$tools_folder/"

echo "Pelmora start-up under Wine, 20 programs and 100 pictures from $base_url"
python3 tools/benchmark/startup_benchmark.py "$exe" "$driver" "$work" "$work/proxy"
