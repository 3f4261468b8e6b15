#!/bin/bash
# Throughput of DownloadToFile under Wine against curl, on loopback from the
# test server, with Pelmora's memory during the transfer.
#   tools/benchmark/run-benchmark.sh [SIZE_MIB]     (default 256)
# BENCH_RUNS (default 3) runs of each alternate; the median of each counts.
# Works in build/benchmark/; builds build/win when the program is missing.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$root"
size_mib="${1:-256}"
runs="${BENCH_RUNS:-3}"
exe="$root/build/win/tools/benchmark/pelmora_benchmark.exe"
[ -f "$exe" ] || bash tools/build.sh win
work="$root/build/benchmark"
mkdir -p "$work/server/root"
source_file="$work/server/root/bench.bin"
if [ "$(stat -c %s "$source_file" 2>/dev/null || echo 0)" != "$((size_mib << 20))" ]; then
    head -c "$((size_mib << 20))" /dev/urandom >"$source_file"
fi
echo "warm-up" >"$work/server/root/warmup.txt"

export PELMORA_WINEPREFIX="$root/build/win/wineprefix"
bash tools/wine-prefix.sh init "$PELMORA_WINEPREFIX"
bash tools/test_server/test-server.sh start "$work/server" >/dev/null
trap 'bash tools/test_server/test-server.sh stop "$work/server"; bash tools/wine-prefix.sh stop "$PELMORA_WINEPREFIX"' EXIT
url="http://127.0.0.1:$(cat "$work/server/port")/bench.bin"
windows_target="Z:${work//\//\\}\\pelmora.bin"

: >"$work/results.txt"
run_curl() {
    curl_seconds="$(curl -sS -o "$work/curl.bin" -w '%{time_total}' "$url")" \
        || { echo "curl failed" >&2; exit 1; }
    cmp -s "$source_file" "$work/curl.bin" || { echo "curl: wrong bytes" >&2; exit 1; }
}
run_pelmora() {
    bash tools/wine-run.sh "$exe" "$url" "$windows_target" "${url%/*}/warmup.txt" \
        >"$work/pelmora-$run.txt"
    cmp -s "$source_file" "$work/pelmora.bin" || { echo "Pelmora: wrong bytes" >&2; exit 1; }
}
# Each transfer starts with no dirty pages of the other's file waiting to be
# written, and the order alternates.
for run in $(seq 1 "$runs"); do
    rm -f "$work/curl.bin" "$work/pelmora.bin"
    sync
    if [ $((run % 2)) -eq 1 ]; then
        run_curl; sync; run_pelmora
    else
        run_pelmora; sync; run_curl
    fi
    echo "curl_seconds=$curl_seconds" >>"$work/pelmora-$run.txt"
    tr -d '\r' <"$work/pelmora-$run.txt" >>"$work/results.txt"
    echo "---" >>"$work/results.txt"
done
rm -f "$work/curl.bin" "$work/pelmora.bin"

python3 - "$work/results.txt" "$size_mib" <<'PY'
import statistics, sys
runs, current = [], {}
for line in open(sys.argv[1]):
    line = line.strip()
    if line == "---":
        runs.append(current); current = {}
    elif "=" in line:
        key, value = line.split("=", 1); current[key] = value
mib = int(sys.argv[2])
pelmora = statistics.median(float(r["seconds"]) for r in runs)
curl = statistics.median(float(r["curl_seconds"]) for r in runs)
mb = lambda key: max(int(r[key]) for r in runs) / 2**20
print("file: %d MiB from the test server on 127.0.0.1, %d runs each, medians" % (mib, len(runs)))
print("Pelmora (DownloadToFile under Wine): %.3f s  %.0f MiB/s" % (pelmora, mib / pelmora))
print("curl:                                %.3f s  %.0f MiB/s" % (curl, mib / curl))
print("ratio Pelmora/curl (throughput):     %.2f" % (curl / pelmora))
print("Pelmora peak working set: %.1f MiB before the transfer, %.1f MiB after it" % (
    mb("peak_working_set_before"), mb("peak_working_set_after")))
print("Pelmora peak private bytes: %.1f MiB before, %.1f MiB after" % (
    mb("peak_private_before"), mb("peak_private_after")))
print("Pelmora's first download in a process (one-time set-up, not counted above): %.3f s" %
      statistics.median(float(r["warmup_seconds"]) for r in runs))
print("list updates per download: %s (last percent %s)" % (
    runs[-1]["list_updates"], runs[-1]["last_percent"]))
PY
