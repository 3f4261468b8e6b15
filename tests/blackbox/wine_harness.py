"""Runs Pelmora.exe and the window driver under Wine for black-box tests.

Everything here is bounded: every wait has a time-out, and every process a
test starts is ended by its own process id when the test is done with it.
"""
import os
import re
import shutil
import subprocess
import time
from pathlib import Path


class WineSession:
    def __init__(self):
        self.prefix = Path(os.environ["PELMORA_WINEPREFIX"])
        self.exe = os.environ["PELMORA_EXE"]
        self.driver_exe = os.environ["PELMORA_DRIVER"]
        self.source_dir = Path(os.environ["PELMORA_SOURCE_DIR"])
        self.screenshots = Path(os.environ["PELMORA_SCREENSHOTS"])
        self.screenshots.mkdir(parents=True, exist_ok=True)
        self.started = []

    # --- environment -------------------------------------------------------
    def env(self, extra=None):
        env = dict(os.environ)
        env["WINEPREFIX"] = str(self.prefix)
        env.setdefault("WINEDEBUG", "-all")
        env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
        if extra:
            env.update(extra)
        return env

    def documents(self):
        return self.prefix / "drive_c" / "users" / "Public" / "Documents"

    def tools_folder(self):
        folder = self.documents() / "Korvath" / "tools"
        folder.mkdir(parents=True, exist_ok=True)
        return folder

    def write_settings(self, line):
        (self.tools_folder() / "config.txt").write_bytes(line.encode("ascii"))

    def remove_settings(self):
        path = self.tools_folder() / "config.txt"
        if path.exists():
            path.unlink()

    # --- processes ---------------------------------------------------------
    def start_pelmora(self, *args, extra_env=None):
        process = subprocess.Popen(["wine", self.exe, *args], env=self.env(extra_env),
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.started.append(process)
        return process

    def wait_exit(self, process, seconds):
        try:
            return process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            return None

    def stop_all(self):
        for process in self.started:
            if process.poll() is None:
                process.kill()  # our own child, by its pid
                self.wait_exit(process, 10)
        self.started.clear()

    def driver(self, *args, timeout=60):
        result = subprocess.run(["wine", self.driver_exe, *args], env=self.env(),
                                capture_output=True, timeout=timeout)
        return result.returncode, result.stdout.decode("utf-8", "replace")

    # --- windows -----------------------------------------------------------
    def wait_window(self, title, ms=20000, class_name=""):
        args = ["wait-window", title, str(ms)] + ([class_name] if class_name else [])
        code, out = self.driver(*args, timeout=ms / 1000 + 30)
        return out.strip() if code == 0 else None

    def windows(self):
        code, out = self.driver("windows")
        rows = []
        for line in out.splitlines():
            parts = line.split("\t")
            if len(parts) == 5:
                rows.append({"hwnd": parts[0], "pid": parts[1], "visible": parts[2] == "1",
                             "class": parts[3], "title": parts[4]})
        return rows

    def texts(self, hwnd):
        code, out = self.driver("texts", hwnd)
        rows = []
        for line in out.splitlines():
            parts = line.split("\t")
            if len(parts) == 3:
                rows.append({"id": int(parts[0]), "class": parts[1], "text": parts[2]})
        return rows

    def controls(self, hwnd):
        """Child windows with their handle, id, visibility, enabled state, class and text."""
        code, out = self.driver("controls", hwnd)
        rows = []
        for line in out.splitlines():
            parts = line.split("\t")
            if len(parts) == 6:
                rows.append({"hwnd": parts[0], "id": int(parts[1]), "visible": parts[2] == "1",
                             "enabled": parts[3] == "1", "class": parts[4], "text": parts[5]})
        return rows

    def control(self, hwnd, control_id):
        """The first child with that id, or None."""
        return next((c for c in self.controls(hwnd) if c["id"] == control_id), None)

    def list_cells(self, list_hwnd):
        """Per row of a report list: {"checked": bool, "texts": [column texts]}."""
        code, out = self.driver("list-cells", list_hwnd)
        rows = []
        for line in out.splitlines():
            parts = line.split("\t")
            if len(parts) >= 2:
                rows.append({"checked": parts[1] == "1", "texts": parts[2:]})
        return rows

    def check_row(self, list_hwnd, row, checked=True):
        return self.driver("check-row", list_hwnd, str(row), "1" if checked else "0")[0] == 0

    def click(self, hwnd, control_id):
        return self.driver("click", hwnd, str(control_id))[0] == 0

    def close(self, hwnd):
        return self.driver("close", hwnd)[0] == 0

    def wait_gone(self, hwnd, ms=10000):
        return self.driver("wait-gone", hwnd, str(ms), timeout=ms / 1000 + 30)[0] == 0

    def screenshot(self, name):
        """Saves what a person would see on the display; returns the path or None."""
        if not shutil.which("import"):
            return None
        path = self.screenshots / f"{name}.png"
        subprocess.run(["import", "-window", "root", str(path)], timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path if path.exists() else None

    # --- resources ---------------------------------------------------------
    def string_text(self, table_file, ids_name):
        """The text of one string id as the given .rc table holds it."""
        source = (self.source_dir / "resources" / "strings" / table_file).read_text("utf-8")
        match = re.search(r"^\s*" + ids_name + r'\s+"((?:[^"]|"")*)"', source, re.M)
        return match.group(1).replace('""', '"') if match else None


def wait_until(predicate, seconds, step=0.2):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return predicate()
