"""Runs Pelmora.exe and the window driver under Wine for black-box tests.

Everything here is bounded: every wait has a time-out, and every process a
test starts is ended by its own process id when the test is done with it.
"""
import os
import re
import shutil
import subprocess
import tempfile
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
        env["WINEDLLOVERRIDES"] = "mscoree,mshtml=;winemenubuilder.exe=d"  # see wine-prefix.sh
        if extra:
            env.update(extra)
        return env

    def documents(self):
        return self.prefix / "drive_c" / "users" / "Public" / "Documents"

    def tools_folder(self):
        folder = self.documents() / "Korvath" / "tools"
        folder.mkdir(parents=True, exist_ok=True)
        return folder

    def work_folder(self):
        """Where a line of switches keeps its downloads, log and kept serial.
        Wine's token is elevated, so every such run here keeps them below
        ProgramData, as an administrator's or SYSTEM's does on Windows; the
        window keeps them below the shared tools folder."""
        return self.prefix / "drive_c" / "ProgramData" / "Korvath" / "Pelmora"

    def write_settings(self, line):
        (self.tools_folder() / "config.txt").write_bytes(line.encode("ascii"))

    def remove_settings(self):
        path = self.tools_folder() / "config.txt"
        if path.exists():
            path.unlink()

    def forget_downloads(self):
        """Pelmora's local state below the documents folder, as before a first run."""
        shutil.rmtree(self.tools_folder() / "Pelmora", ignore_errors=True)
        shutil.rmtree(self.work_folder(), ignore_errors=True)
        for name in ("db_version.txt", "modelinfo_hq.db", "modelinfo_amr.db",
                     "modelinfo_eur.db", "modelinfo_chna.db"):
            path = self.tools_folder() / name
            if path.exists():
                path.unlink()

    def write_db_stamp(self, line):
        """The model databases as if already fetched at this stamp (no restart box)."""
        (self.tools_folder() / "db_version.txt").write_bytes(line.encode() + b"\r\n")

    # --- registry (64-bit view of HKLM's uninstall keys) ---------------------
    UNINSTALL = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall"

    def register(self, name, version):
        key = self.UNINSTALL + "\\" + name
        self.run_wine("reg", "add", key, "/v", "DisplayVersion", "/d", version, "/reg:64", "/f")

    def unregister(self, name):
        self.run_wine("reg", "delete", self.UNINSTALL + "\\" + name, "/reg:64", "/f")

    def registered_version(self, name):
        _, out = self.run_wine("reg", "query", self.UNINSTALL + "\\" + name, "/v",
                               "DisplayVersion", "/reg:64")
        match = re.search(rb"DisplayVersion\s+REG_SZ\s+(\S+)", out)
        return match.group(1).decode() if match else None

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

    def run_wine(self, *args, timeout=60):
        """(exit code, stdout bytes) of a Windows program. Its output goes through a
        file, not a pipe: a Wine service that it happens to start (explorer,
        rpcss) inherits the pipe and would hold it open long after it ended."""
        with tempfile.TemporaryFile() as out:
            code = subprocess.run(["wine", *args], env=self.env(), stdout=out,
                                  stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL,
                                  timeout=timeout).returncode
            out.seek(0)
            return code, out.read()

    def driver(self, *args, timeout=60):
        code, out = self.run_wine(self.driver_exe, *args, timeout=timeout)
        return code, out.decode("utf-8", "replace")

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

    def rects(self, hwnd):
        """(width, height) of the window and {id: (left, top, right, bottom)} of its children."""
        code, out = self.driver("rects", hwnd)
        size, children = None, {}
        for line in out.splitlines():
            parts = line.split("\t")
            if parts[0] == "window" and len(parts) == 3:
                size = (int(parts[1]), int(parts[2]))
            elif len(parts) == 5:
                children[int(parts[0])] = tuple(int(p) for p in parts[1:])
        return size, children

    def list_check_box(self, list_hwnd):
        """Row 0's left, its icon's left, column 0's right and the row's height, or None."""
        code, out = self.driver("list-check-box", list_hwnd)
        parts = out.split()
        return tuple(int(p) for p in parts) if code == 0 and len(parts) == 4 else None

    def check_row(self, list_hwnd, row, checked=True):
        # The driver waits 5 s for the window thread; on a loaded machine give it three tries.
        for _ in range(3):
            if self.driver("check-row", list_hwnd, str(row), "1" if checked else "0")[0] == 0:
                return True
        return False

    def click(self, hwnd, control_id):
        return self.driver("click", hwnd, str(control_id))[0] == 0

    def press(self, hwnd, control_id):
        return self.driver("press", hwnd, str(control_id))[0] == 0

    def set_text(self, hwnd, control_id, text):
        return self.driver("set-text", hwnd, str(control_id), text)[0] == 0

    def post(self, hwnd, message, wparam):
        return self.driver("post", hwnd, str(message), str(wparam))[0] == 0

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
