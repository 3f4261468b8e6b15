#!/usr/bin/env python3
"""Pelmora's start-up time under Wine, from process start to the list shown
and filled, against a sample server on loopback with 20 programs and 100
pictures. Run by run-startup-benchmark.sh, which sets up the server, the
prefix and the display.

First start: no local stamps, so every picture is fetched. Second start: the
stamps are unchanged, so only the four small files are. The model databases
are current in both (their first fetch ends in a notice that waits for the
user). Prints the median of each and a breakdown per phase from Pelmora's
own "[Pelmora]Start-up:" marks.
"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

MARK = re.compile(r"\[Pelmora\]Start-up: (.+?) at ([\d.]+) ms \(\+([\d.]+) ms\)")
READY = "list ready"


def run_once(exe, driver, env, log_path, timeout=60):
    """(wall ms from launching wine to the list ready, {phase: ms}, in-process ms)."""
    if log_path.exists():
        log_path.unlink()
    started = time.monotonic()
    process = subprocess.Popen(["wine", exe], env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = None
    text = ""
    while time.monotonic() - started < timeout:
        text = log_path.read_text("utf-8", "replace") if log_path.exists() else ""
        if READY in text:
            wall = (time.monotonic() - started) * 1000
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
    return wall, phases, total


def main():
    exe, driver, work = sys.argv[1], sys.argv[2], Path(sys.argv[3])
    runs = int(os.environ.get("BENCH_RUNS", "5"))
    env = dict(os.environ)
    log_path = work / "pelmora.log"
    env["PELMORA_LOG"] = "Z:" + str(log_path).replace("/", "\\")
    pelmora_folder = (Path(env["WINEPREFIX"]) / "drive_c/users/Public/Documents/Korvath/tools" /
                      "Pelmora")

    results = {"first": [], "second": []}
    run_once(exe, driver, env, log_path)  # warm-up: Wine's own start-up costs, once
    for _ in range(runs):
        shutil.rmtree(pelmora_folder, ignore_errors=True)
        results["first"].append(run_once(exe, driver, env, log_path))
        results["second"].append(run_once(exe, driver, env, log_path))

    for kind, goal in (("first", 1500), ("second", 700)):
        walls = [r[0] for r in results[kind]]
        inside = [r[2] for r in results[kind]]
        print(f"{kind} start ({runs} runs): median {statistics.median(walls):.0f} ms from "
              f"launching wine to the list filled (goal {goal} ms); "
              f"{statistics.median(inside):.0f} ms since the process was created; "
              f"runs: {', '.join(f'{w:.0f}' for w in walls)}")
        names = list(results[kind][0][1])
        for name in names:
            values = [r[1].get(name, 0.0) for r in results[kind]]
            print(f"    {name:<32} {statistics.median(values):7.1f} ms")


if __name__ == "__main__":
    main()
