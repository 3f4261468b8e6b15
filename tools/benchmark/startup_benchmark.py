#!/usr/bin/env python3
"""Pelmora's start-up time under Wine, from process start to the list shown
and filled, against a sample server on loopback with 20 programs and 100
pictures. Run by run-startup-benchmark.sh, which sets up the server, the
prefix and the display.

Everything goes through tools/latency_proxy.py, at each round-trip time of
BENCH_RTTS. First start: no local stamps, so every picture is fetched.
Second start: the stamps are unchanged, so only the four small files are. The model databases
are current in both (their first fetch ends in a notice that waits for the
user). Prints the median of each and a breakdown per phase from Pelmora's
own "[Pelmora]Start-up:" marks.
"""
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

MARK = re.compile(r"\[Pelmora\]Start-up: (.+?) at ([\d.]+) ms \(\+([\d.]+) ms\)")
READY = "list ready"


def run_once(exe, driver, env, log_path, timeout=60):
    """(wall ms from launching wine to the list ready, {phase: ms, and the peak
    memory}, in-process ms)."""
    if log_path.exists():
        log_path.unlink()
    started = time.monotonic()
    process = subprocess.Popen(["wine", exe], env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = None
    peak_kib = 0
    text = ""
    while time.monotonic() - started < timeout:
        text = log_path.read_text("utf-8", "replace") if log_path.exists() else ""
        if READY in text:
            wall = (time.monotonic() - started) * 1000
            peak_kib = peak_memory_kib(process.pid)
            break
        if process.poll() is not None:
            break
        time.sleep(0.005)
    phases, total = {}, None
    for name, at, delta in MARK.findall(text):
        phases[name] = float(delta)
        if name == READY:
            total = float(at)
    with tempfile.TemporaryFile() as out:
        subprocess.run(["wine", driver, "wait-window", "Pelmora v1.3.2", "20000"], env=env,
                       stdout=out, stderr=subprocess.DEVNULL, timeout=60)
        out.seek(0)
        hwnd = out.read().decode().strip()
    if hwnd:
        subprocess.run(["wine", driver, "close", hwnd], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
    try:
        process.wait(timeout=30)
    except subprocess.TimeoutExpired:
        process.kill()  # our own child
        process.wait()
    if wall is None:
        sys.exit("Pelmora did not reach the list; see " + str(log_path))
    phases["peak memory (KiB)"] = peak_kib
    return wall, phases, total


def peak_memory_kib(pid):
    """The process's peak resident size (wine runs the program in the process it started)."""
    try:
        for line in Path(f"/proc/{pid}/status").read_text().splitlines():
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    except OSError:
        pass
    return 0


def proxy_counts(proxy):
    """(connections, requests) the proxy has seen since its last reset."""
    text = (proxy / "counts").read_text()
    numbers = dict(zip(text.split()[::2], map(int, text.split()[1::2])))
    return numbers.get("connections", 0), numbers.get("requests", 0)


def reset_counts(proxy):
    os.kill(int((proxy / "pid").read_text()), signal.SIGUSR1)
    for _ in range(100):  # bounded: the proxy answers within milliseconds
        if proxy_counts(proxy) == (0, 0):
            return
        time.sleep(0.01)


def measured_run(exe, driver, env, log_path, proxy):
    """run_once's figures and the proxy's (connections, requests) of the run."""
    reset_counts(proxy)
    wall, phases, total = run_once(exe, driver, env, log_path)
    return wall, phases, total, proxy_counts(proxy)


def main():
    exe, driver, work, proxy = sys.argv[1], sys.argv[2], Path(sys.argv[3]), Path(sys.argv[4])
    runs = int(os.environ.get("BENCH_RUNS", "5"))
    rtts = [int(r) for r in os.environ.get("BENCH_RTTS", "0 100").split()]
    env = dict(os.environ)
    log_path = work / "pelmora.log"
    env["PELMORA_LOG"] = "Z:" + str(log_path).replace("/", "\\")
    pelmora_folder = (Path(env["WINEPREFIX"]) / "drive_c/users/Public/Documents/Korvath/tools" /
                      "Pelmora")

    results = {}
    (proxy / "rtt_ms").write_text("0")
    run_once(exe, driver, env, log_path)  # warm-up: Wine's own start-up costs, once
    for rtt in rtts:
        (proxy / "rtt_ms").write_text(str(rtt))
        first, second = [], []
        for _ in range(runs):
            shutil.rmtree(pelmora_folder, ignore_errors=True)
            first.append(measured_run(exe, driver, env, log_path, proxy))
            second.append(measured_run(exe, driver, env, log_path, proxy))
        results[rtt] = {"first": first, "second": second}

    goals = {("first", 0): 1200, ("second", 0): 500, ("first", 100): 2000, ("second", 100): 600}
    print(f"median of {runs} runs, ms from launching wine to the list filled "
          "(in-process ms since the process was created in brackets)")
    print(f"{'':<14}" + "".join(f"{f'{rtt} ms RTT':>30}" for rtt in rtts))
    for kind in ("first", "second"):
        cells = []
        for rtt in rtts:
            rows = results[rtt][kind]
            wall = statistics.median(r[0] for r in rows)
            inside = statistics.median(r[2] for r in rows)
            goal = goals.get((kind, rtt))
            cells.append(f"{wall:.0f} ({inside:.0f})" + (f" goal {goal}" if goal else ""))
        print(f"{kind + ' start':<14}" + "".join(f"{c:>30}" for c in cells))
        cells = []
        for rtt in rtts:
            rows = results[rtt][kind]
            connections = statistics.median(r[3][0] for r in rows)
            requests = statistics.median(r[3][1] for r in rows)
            cells.append(f"{requests:.0f} req, {connections:.0f} conn")
        print(f"{'':<14}" + "".join(f"{c:>30}" for c in cells))
        if 0 in results and len(rtts) > 1:
            # What the added round-trip time cost, in round trips: those the
            # start-up waited on one after another.
            base = statistics.median(r[2] for r in results[0][kind])
            cells = [""] + [f"~{(statistics.median(r[2] for r in results[rtt][kind]) - base) / rtt:.1f}"
                            " round trips waited" for rtt in rtts if rtt]
            print(f"{'':<14}" + "".join(f"{c:>30}" for c in cells))
    for rtt in rtts:
        for kind in ("first", "second"):
            rows = results[rtt][kind]
            print(f"{kind} start at {rtt} ms, runs: {', '.join(f'{r[0]:.0f}' for r in rows)}")
            for name in rows[0][1]:
                values = [r[1].get(name, 0.0) for r in rows]
                unit = "" if "KiB" in name else " ms"
                print(f"    {name:<32} {statistics.median(values):7.1f}{unit}")


if __name__ == "__main__":
    main()
