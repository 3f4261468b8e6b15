#!/usr/bin/env python3
"""Pelmora's start-up time under Wine, from process start to the list shown,
filled and taking input, and to the pictures complete, against a sample
server on loopback with 20 programs and 100 pictures; beside it, curl
fetching the same 100 pictures through the same proxy with the same number
of connections. Run by run-startup-benchmark.sh, which sets up the server,
the prefix and the display.

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
from urllib.parse import quote

MARK = re.compile(r"\[Pelmora\]Start-up: (.+?) at ([\d.]+) ms \(\+([\d.]+) ms\)")
# Builds that fetched the pictures before the list showed mark only "list ready".
SHOWN, READY, COMPLETE = "list shown", "list ready", "pictures complete"
PICTURE_CONNECTIONS = 8  # Pelmora's transfers at once (kParallelTransfers)


def marks(text):
    return {name: float(at) for name, at, _ in MARK.findall(text)}


def shown_at(found):
    """In-process ms to the list shown and taking input."""
    return found.get(SHOWN, found.get(READY))


def pictures_at(found):
    """In-process ms to the pictures complete (older builds: before the list)."""
    return found.get(COMPLETE, found.get(READY))


def pictures_span(found):
    """In-process ms the pictures took: from their start (right after the
    catalogue; older builds: with the list ready) to their end."""
    if COMPLETE in found:
        return found[COMPLETE] - found.get("catalogue", found[READY])
    return found.get("pictures", 0.0) - found.get("layout and list", 0.0)


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
        # Older builds mark "pictures" before the list and nothing after "list ready".
        older = "Start-up: pictures at" in text
        if wall is None and (SHOWN in text or (older and READY in text)):
            wall = (time.monotonic() - started) * 1000
        # Closed only once the pictures are complete, so that the second start finds them.
        if wall is not None and (COMPLETE in text or older):
            peak_kib = peak_memory_kib(process.pid)
            break
        if process.poll() is not None:
            break
        time.sleep(0.005)
    phases = {}
    for name, at, delta in MARK.findall(text):
        phases[name] = float(delta)
    found = marks(text)
    total = (shown_at(found), pictures_at(found), pictures_span(found)) if found else None
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


def picture_urls(work, base_url):
    """The 100 pictures of the tree, as Pelmora asks for them."""
    images = work / "server" / "root" / "tools" / "images"
    return [base_url + "images/" + quote(f"{folder.name}/{picture.name}")
            for folder in sorted(images.iterdir()) for picture in sorted(folder.iterdir())]


def curl_pictures(urls):
    """ms curl takes for `urls` with PICTURE_CONNECTIONS transfers at once."""
    command = ["curl", "-sS", "--fail", "--parallel", "--parallel-max", str(PICTURE_CONNECTIONS)]
    for url in urls:
        command += ["-o", "/dev/null", url]
    started = time.monotonic()
    subprocess.run(command, check=True, stdin=subprocess.DEVNULL, timeout=120)
    return (time.monotonic() - started) * 1000


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
    pelmora_folder = (Path(env["WINEPREFIX"]) / "drive_c/users/Public/Documents/Korvath/tools" /
                      "Pelmora")
    # The log where a user's Pelmora keeps it, open for the whole run. PELMORA_LOG
    # (the tests' log) opens its file again for every line, which under Wine
    # costs a fetching thread more than a small file's transfer.
    env.pop("PELMORA_LOG", None)
    log_path = pelmora_folder / "pelmora.log"

    results, curl = {}, {}
    urls = picture_urls(work, env["PELMORA_BASE_URL"])
    (proxy / "rtt_ms").write_text("0")
    run_once(exe, driver, env, log_path)  # warm-up: Wine's own start-up costs, once
    for rtt in rtts:
        (proxy / "rtt_ms").write_text(str(rtt))
        first, second, fetched = [], [], []
        for _ in range(runs):
            shutil.rmtree(pelmora_folder, ignore_errors=True)
            first.append(measured_run(exe, driver, env, log_path, proxy))
            second.append(measured_run(exe, driver, env, log_path, proxy))
            fetched.append(curl_pictures(urls))
        results[rtt] = {"first": first, "second": second}
        curl[rtt] = statistics.median(fetched)

    # Goals: list shown and taking input; pictures complete on a first start.
    # The same with the maker's key (BENCH_KEY).
    goals = {("first", 100): 600, ("second", 100): 600, ("second", 0): 350}
    picture_goals = {100: 2000}
    median = statistics.median
    print(f"median of {runs} runs, ms from launching wine to the list shown and taking input "
          "(in-process ms since the process was created in brackets)")
    print(f"{'':<22}" + "".join(f"{f'{rtt} ms RTT':>30}" for rtt in rtts))
    for kind in ("first", "second"):
        cells = []
        for rtt in rtts:
            rows = results[rtt][kind]
            goal = goals.get((kind, rtt))
            cells.append(f"{median(r[0] for r in rows):.0f} ({median(r[2][0] for r in rows):.0f})"
                         + (f" goal {goal}" if goal else ""))
        print(f"{kind + ' start':<22}" + "".join(f"{c:>30}" for c in cells))
        cells = []
        for rtt in rtts:
            rows = results[rtt][kind]
            cells.append(f"{median(r[3][1] for r in rows):.0f} req, "
                         f"{median(r[3][0] for r in rows):.0f} conn")
        print(f"{'':<22}" + "".join(f"{c:>30}" for c in cells))
    cells = []
    for rtt in rtts:
        goal = picture_goals.get(rtt)
        cells.append(f"({median(r[2][1] for r in results[rtt]['first']):.0f})"
                     + (f" goal {goal}" if goal else ""))
    print(f"{'pictures complete':<22}" + "".join(f"{c:>30}" for c in cells))
    cells = []
    for rtt in rtts:
        span = median(r[2][2] for r in results[rtt]["first"])
        cells.append(f"{span:.0f} / {curl[rtt]:.0f} = {span / curl[rtt]:.1f}x"
                     + (" goal 3x" if rtt == 0 else ""))
    print(f"{'100 pictures vs curl':<22}" + "".join(f"{c:>30}" for c in cells))
    print(f"  (Pelmora's picture phase, first start / curl, {PICTURE_CONNECTIONS} connections,"
          " the same proxy)")
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
