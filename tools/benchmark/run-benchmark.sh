#!/bin/bash
# Throughput of DownloadToFile under Wine against curl, on loopback, from two
# servers: the project's test server (Python) and Debian's nginx (sendfile).
#   tools/benchmark/run-benchmark.sh [SIZE_MIB]     (default 256)
# BENCH_RUNS (default 5) runs of each alternate; the median of each counts.
# Prints per server: wall and CPU time of each side, their ratio, the read
# sizes Pelmora used, and Pelmora's memory; then the same download verified
# against its digest beside the time to hash the file alone (goal: verified
# at most 1.1 x the larger of the two). BENCH_RUNS=1 with SIZE_MIB 4096 shows
# a 4 GiB installer verified on loopback. Works in build/benchmark/; builds
# build/win when the program is missing. BENCH_EXE=<another
# pelmora_benchmark.exe> times an older build the same way.
#
# On loopback the ratio swings between runs by a factor of two and cannot show
# a regression; a shaped link can (steady to about 1 %):
#   BENCH_RATES="1gbit 200mbit" tools/benchmark/run-benchmark.sh [SIZE_MIB]
# runs the nginx half once per rate, with server, curl and Wine in a private
# network namespace whose loopback carries a tbf qdisc of that rate. It needs
# root (unshare -n, tc) and says so, and skips, when it cannot.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$root"
size_mib="${1:-256}"
runs="${BENCH_RUNS:-5}"
exe="${BENCH_EXE:-$root/build/win/tools/benchmark/pelmora_benchmark.exe}"
[ -f "$exe" ] || bash tools/build.sh win
shaped="${BENCH_SHAPED_RATE:-}"
if [ -n "${BENCH_RATES:-}" ] && [ -z "$shaped" ]; then
    if [ "$(id -u)" != 0 ] || ! command -v tc >/dev/null || ! unshare -n true 2>/dev/null; then
        echo "shaped link: needs root, unshare -n and tc (a network namespace of its own whose" \
            "loopback carries a tbf qdisc); skipped"
        exit 0
    fi
    for rate in $BENCH_RATES; do
        unshare -n env BENCH_SHAPED_RATE="$rate" bash -c '
            ip link set lo up &&
                tc qdisc add dev lo root tbf rate "$BENCH_SHAPED_RATE" burst 2mb latency 100ms &&
                exec bash "$0" "$@"' "$0" "$@"
    done
    exit 0
fi
command -v nginx >/dev/null || bash tools/install-deps.sh
work="$root/build/benchmark"
mkdir -p "$work/server/root" "$work/nginx"
source_file="$work/server/root/bench.bin"
if [ "$(stat -c %s "$source_file" 2>/dev/null || echo 0)" != "$((size_mib << 20))" ]; then
    head -c "$((size_mib << 20))" /dev/urandom >"$source_file"
fi
echo "warm-up" >"$work/server/root/warmup.txt"
digest="$(sha256sum "$source_file" | cut -d' ' -f1)"

export PELMORA_WINEPREFIX="$root/build/win/wineprefix"
# Inside the namespace a prefix of its own: its wineserver (which makes the
# sockets) must run in there too, and the tests' one may be running outside.
[ -n "$shaped" ] && PELMORA_WINEPREFIX="$work/wineprefix-shaped"
bash tools/wine-prefix.sh init "$PELMORA_WINEPREFIX"
bash tools/test_server/test-server.sh start "$work/server" >/dev/null
nginx_pid=""
stop_all() {
    bash tools/test_server/test-server.sh stop "$work/server" || true
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
    bash tools/wine-prefix.sh stop "$PELMORA_WINEPREFIX" || true
}
trap stop_all EXIT

# nginx on a free port with a configuration of its own, in the foreground.
nginx_port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')"
cat >"$work/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
    access_log off;
    sendfile on;
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    server { listen 127.0.0.1:$nginx_port; root $work/server/root; }
}
CONF
nginx -c "$work/nginx/nginx.conf" -p "$work/nginx" &
nginx_pid=$!
for _ in $(seq 1 50); do
    curl -sf -o /dev/null "http://127.0.0.1:$nginx_port/warmup.txt" && break
    sleep 0.1
done

windows_target="Z:${work//\//\\}\\pelmora.bin"
export PELMORA_LOG="Z:${work//\//\\}\\pelmora.log"

run_curl() {
    python3 - "$1" "$work/curl.bin" >"$work/curl.txt" <<'PY'
import resource, subprocess, sys
out = subprocess.run(["curl", "-sS", "-o", sys.argv[2], "-w", "%{time_total}", sys.argv[1]],
                     check=True, capture_output=True, text=True).stdout
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
print("curl_seconds=%s\ncurl_cpu_seconds=%.6f" % (out, usage.ru_utime + usage.ru_stime))
PY
    cmp -s "$source_file" "$work/curl.bin" || { echo "curl: wrong bytes" >&2; exit 1; }
}
run_pelmora() {  # URL [DIGEST [OUTPUT]]
    local out="${3:-$work/pelmora.txt}"
    rm -f "$work/pelmora.log"
    bash tools/wine-run.sh "$exe" "$1" "$windows_target" "${1%/*}/warmup.txt" "${2:--}" >"$out"
    cmp -s "$source_file" "$work/pelmora.bin" || { echo "Pelmora: wrong bytes" >&2; exit 1; }
    grep -a "^\[Pelmora\]Body" "$work/pelmora.log" | tail -1 | tr -d '\r' |
        sed -E 's/.* in ([0-9]+) reads, largest ([0-9]+)/reads=\1\nlargest_read=\2/' >>"$out"
}
# The verified download and the hash of the same file alone, as extra keys.
# Its own output file: in the rounds where it runs last it must not replace
# the unverified run's figures (it did, and those rounds showed the verified
# time as the plain one: the "slow even runs").
run_verified() {
    run_pelmora "$1" "$digest" "$work/verified-run.txt"
    grep -q "^result=0x00000000" "$work/verified-run.txt" || { echo "Pelmora: not verified" >&2; exit 1; }
    sed -E 's/^(seconds|cpu_seconds|peak_private_after|peak_private_before)=/verified_\1=/;t;d' \
        "$work/verified-run.txt" >"$work/verified.txt"
    bash tools/wine-run.sh "$exe" --hash "Z:${source_file//\//\\}" >>"$work/verified.txt"
    grep -q "^hash=$digest" "$work/verified.txt" || { echo "Pelmora: wrong hash" >&2; exit 1; }
}

bench() {  # NAME URL
    local results="$work/results-$1.txt"
    : >"$results"
    # Each transfer starts with no dirty pages of the other's file waiting to
    # be written, and the order alternates.
    for run in $(seq 1 "$runs"); do
        rm -f "$work/curl.bin" "$work/pelmora.bin"
        sync
        if [ $((run % 2)) -eq 1 ]; then
            run_verified "$2"; rm -f "$work/pelmora.bin"; sync
            run_curl "$2"; sync; run_pelmora "$2"
        else
            run_pelmora "$2"; sync; run_curl "$2"; rm -f "$work/pelmora.bin"; sync
            run_verified "$2"
        fi
        cat "$work/pelmora.txt" "$work/curl.txt" "$work/verified.txt" | tr -d '\r' >>"$results"
        echo "---" >>"$results"
    done
    rm -f "$work/curl.bin" "$work/pelmora.bin"
    python3 - "$results" "$size_mib" "$1" "${shaped:-}" <<'PY'
import statistics, sys
runs, current = [], {}
for line in open(sys.argv[1]):
    line = line.strip()
    if line == "---":
        runs.append(current); current = {}
    elif "=" in line:
        key, value = line.split("=", 1); current[key] = value
mib, name, rate = int(sys.argv[2]), sys.argv[3], sys.argv[4]
med = lambda key: statistics.median(float(r[key]) for r in runs)
pelmora, curl = med("seconds"), med("curl_seconds")
mb = lambda key: max(int(r[key]) for r in runs) / 2**20
link = "a loopback shaped to %s" % rate if rate else "127.0.0.1"
print("== %s: %d MiB on %s, %d runs each, medians" % (name, mib, link, len(runs)))
print("  Pelmora (DownloadToFile under Wine): %.3f s  %4.0f MiB/s  CPU %.3f s" % (
    pelmora, mib / pelmora, med("cpu_seconds")))
print("  curl:                                %.3f s  %4.0f MiB/s  CPU %.3f s" % (
    curl, mib / curl, med("curl_cpu_seconds")))
print("  ratio Pelmora/curl (throughput):     %.2f   (each run: %s)%s" % (
    curl / pelmora, " ".join("%.2f" % (float(r["curl_seconds"]) / float(r["seconds"])) for r in runs),
    "   (goal >= 0.98 in every run)" if rate else ""))
if "reads" in runs[-1]:
    reads = int(runs[-1]["reads"])
    print("  Pelmora reads: %d, average %.0f KiB, largest %.0f KiB" % (
        reads, mib * 1024 / max(reads, 1), int(runs[-1]["largest_read"]) / 1024))
print("  Pelmora peak working set %.1f -> %.1f MiB, peak private bytes %.1f -> %.1f MiB" % (
    mb("peak_working_set_before"), mb("peak_working_set_after"),
    mb("peak_private_before"), mb("peak_private_after")))
verified, hashed = med("verified_seconds"), med("hash_seconds")
print("  Pelmora verified (digest given):     %.3f s  %4.0f MiB/s  CPU %.3f s" % (
    verified, mib / verified, med("verified_cpu_seconds")))
print("  hash of the file alone (BCrypt):     %.3f s  %4.0f MiB/s" % (hashed, mib / hashed))
print("  verified / max(unverified, hash):    %.2f   (goal <= 1.10)" % (verified / max(pelmora, hashed)))
print("  verified peak private bytes %.1f -> %.1f MiB" % (
    mb("verified_peak_private_before"), mb("verified_peak_private_after")))
print("  list updates per download: %s (last percent %s); first download in a process: %.3f s" % (
    runs[-1]["list_updates"], runs[-1]["last_percent"], med("warmup_seconds")))
PY
}

# Shaped, only nginx: the Python server may not keep up with the rate.
[ -z "$shaped" ] && bench "test server" "http://127.0.0.1:$(cat "$work/server/port")/bench.bin"
bench "nginx" "http://127.0.0.1:$nginx_port/bench.bin"
echo "(Pelmora's CPU time is its own process's; Wine's wineserver works besides it.)"
