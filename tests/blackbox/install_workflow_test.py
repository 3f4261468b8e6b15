"""Install and update in Pelmora.exe, driven from outside as a user would:
tick rows, View a release note, Start with progress, Cancel, Start again,
Back, Install with our own small installer, Execute and Run the installed
tool. Against the test server (ctest fixture) in the test Wine prefix."""
import os
import subprocess
import time
import unittest
import urllib.parse
import urllib.request
from pathlib import Path

from wine_harness import WineSession, wait_until

MAIN_TITLE = "Pelmora v1.3.2"
LIST_ID = 1007
START, CANCEL, SETTING = 1004, 1010, 1003
INSTALL_BASE, VIEW_BASE, RUN_BASE = 2024, 3024, 3044
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
TOOL, SLOW = "PelmoraBB Tool", "PelmoraBB Slow"


class TestServer:
    def __init__(self):
        state = Path(os.environ["PELMORA_TEST_SERVER_DIR"])
        self.base = "http://127.0.0.1:%s" % (state / "port").read_text().strip()

    def control(self, target, body=None):
        request = urllib.request.Request(self.base + target, data=body,
                                         method="PUT" if body is not None else "GET")
        with urllib.request.urlopen(request, timeout=30) as response:
            return response.read().decode("utf-8", "replace")

    def put(self, path, data):
        self.control("/__control/file?path=" + urllib.parse.quote(path), data)

    def rule(self, path, rules):
        self.control("/__control/rule?path=" + urllib.parse.quote(path) + "&" + rules)

    def log(self, prefix):
        # Requests carry blanks as %20; the prefix is matched against them as sent.
        return self.control("/__control/log?prefix=" + urllib.parse.quote(urllib.parse.quote(prefix)))


class InstallWorkflow(unittest.TestCase):
    def setUp(self):
        self.wine = WineSession()
        self.server = TestServer()
        self.server.control("/__control/reset?prefix=/bb/")
        self.installer = Path(os.environ["PELMORA_TEST_INSTALLER"]).read_bytes()
        self.pelmora = self.wine.work_folder()  # the downloads
        self.remove_keys()
        self.wine.write_settings("Language:English,Server:AMR")
        # Up to date, so that no self-update question comes first.
        self.wine.register("Pelmora", "1.3.2")

    def tearDown(self):
        self.wine.stop_all()
        for window in self.wine.windows():
            if "ReleaseNote" in window["title"]:
                self.wine.close(window["hwnd"])
        self.remove_keys()
        self.wine.unregister("Pelmora")
        self.wine.remove_settings()
        self.server.control("/__control/reset?prefix=/bb/")

    def remove_keys(self):
        for name in (TOOL, SLOW):
            subprocess.run(["wine", "reg", "delete", UNINSTALL + "\\" + name, "/f", "/reg:64"],
                           env=self.wine.env(), capture_output=True, timeout=60)

    def publish(self):
        lines = ["id,ko,en,zh,ja,version,list,image,hq,amr,eur,chna"]
        for number, name in ((8, TOOL), (9, SLOW)):
            folder = self.server.base + "/bb/pkg/" + name
            lines.append(",".join([str(number), "k" + name, name, "c", "j", "2.1.0", "TRUE",
                                   self.server.base + "/bb/img", self.server.base + "/bb/hq/" + name,
                                   folder, self.server.base + "/bb/eur", self.server.base + "/bb/chna"]))
        self.server.put("/bb/tools/program_list.txt", "\n".join(lines).encode("utf-16"))
        self.server.put("/bb/tools/Pelmora.txt", b"v1.3.2v")
        self.server.put("/bb/hq/%s/ReleaseNote.txt" % TOOL, b"Tool 2.1.0: what changed")
        self.server.put("/bb/pkg/%s/setup.exe" % TOOL, self.installer)
        self.server.put("/bb/pkg/%s/setup.exe" % SLOW, b"s" * 600000)
        self.server.rule("/bb/pkg/%s/setup.exe" % SLOW, "rate=100000")  # six seconds

    # --- what the user sees ------------------------------------------------------
    def cells(self):
        return self.wine.list_cells(self.list)

    def status(self, row):
        rows = self.cells()
        return rows[row]["texts"][2] if row < len(rows) else None

    def button(self, control_id, parent=None):
        return self.wine.control(parent or self.main, control_id)

    def visible(self, control_id, parent=None):
        control = self.button(control_id, parent)
        return bool(control and control["visible"])

    def browse_mode(self):
        return self.visible(START) and not self.visible(CANCEL)

    def shot(self, name):
        self.wine.screenshot("install_workflow_" + name)

    def test_a_user_installs_and_runs_a_tool(self):
        self.publish()
        process = self.wine.start_pelmora(extra_env={
            "PELMORA_BASE_URL": self.server.base + "/bb/tools/"})
        self.main = self.wine.wait_window(MAIN_TITLE, 30000)
        self.assertIsNotNone(self.main)
        self.list = self.button(LIST_ID)["hwnd"]
        self.assertTrue(wait_until(lambda: len(self.cells()) == 2, 10))
        self.assertEqual([r["texts"][1] for r in self.cells()], [TOOL, SLOW])
        self.assertEqual([r["texts"][2] for r in self.cells()], ["Not installed"] * 2)
        self.assertFalse(self.button(START)["enabled"])

        # View: the release note, fetched from the HQ folder, opens in an editor.
        self.assertTrue(self.wine.click(self.list, VIEW_BASE + 0))
        self.assertTrue(wait_until(
            lambda: any("ReleaseNote" in w["title"] for w in self.wine.windows()), 20))
        note = self.wine.documents() / "Korvath" / "tools" / (TOOL + "ReleaseNote.txt")
        self.assertEqual(note.read_bytes(), b"Tool 2.1.0: what changed")
        self.shot("release_note")
        for window in self.wine.windows():
            if "ReleaseNote" in window["title"]:
                self.wine.close(window["hwnd"])

        # Tick both and start: progress shows in the slow row; Cancel returns at once.
        self.assertTrue(self.wine.check_row(self.list, 0))
        self.assertTrue(self.wine.check_row(self.list, 1))
        self.assertTrue(self.button(START)["enabled"])
        self.assertTrue(self.wine.click(self.main, START))
        def slow_row_in_progress():
            texts = self.cells()[1]["texts"]
            return texts[2] == "Downloading" and texts[4].strip() not in ("0 %", "100 %", "")
        self.assertTrue(wait_until(slow_row_in_progress, 20))
        self.assertEqual(self.status(0), "Downloaded")
        self.assertTrue(self.visible(INSTALL_BASE + 0, self.list))
        self.assertEqual(self.button(CANCEL)["text"], "Cancel")
        self.assertFalse(self.button(SETTING)["enabled"])
        self.shot("progress")
        self.assertTrue(self.wine.click(self.main, CANCEL))
        self.assertTrue(wait_until(self.browse_mode, 3))
        self.assertEqual([r["texts"][2] for r in self.cells()], ["Not installed"] * 2)
        self.assertTrue(self.button(SETTING)["enabled"])
        self.assertFalse((self.pelmora / "downloaded_program" / SLOW / "setup.exe").exists())

        # Only the tool this time: its row passes, and Cancel becomes Back.
        self.assertTrue(self.wine.check_row(self.list, 0))
        self.assertTrue(self.wine.check_row(self.list, 1, False))
        self.assertTrue(self.wine.click(self.main, START))
        self.assertTrue(wait_until(lambda: self.button(CANCEL)["text"] == "Back", 20))
        self.assertEqual(self.status(0), "Downloaded")
        self.assertEqual(self.button(INSTALL_BASE + 0, self.list)["text"], "Install")

        # Install: our installer runs and registers the tool; the row turns to Execute.
        self.assertTrue(self.wine.click(self.list, INSTALL_BASE + 0))
        self.assertTrue(wait_until(lambda: self.status(0) == "latest", 20))
        self.assertTrue(wait_until(
            lambda: (self.button(INSTALL_BASE + 0, self.list) or {}).get("text") == "Execute", 5))
        self.shot("execute")
        installed = self.pelmora / "downloaded_program" / TOOL / "installed"
        started = installed / "started.txt"
        self.assertTrue(self.wine.click(self.list, INSTALL_BASE + 0))
        # Read once the tool has written all of it: the file exists before its text does.
        self.assertTrue(wait_until(
            lambda: started.exists() and
            TOOL + ".exe" in started.read_bytes().decode("utf-16-le", "replace"), 20))

        # Back, then Run starts the same tool.
        self.assertTrue(self.wine.click(self.main, CANCEL))
        self.assertTrue(wait_until(self.browse_mode, 3))
        self.assertEqual([r["texts"][2] for r in self.cells()], ["latest", "Not installed"])
        self.assertTrue(self.visible(RUN_BASE + 0, self.list))
        started.unlink()
        self.assertTrue(self.wine.click(self.list, RUN_BASE + 0))
        self.assertTrue(wait_until(started.exists, 20))
        self.shot("browse_after_install")

        self.assertTrue(self.wine.close(self.main))
        self.assertEqual(self.wine.wait_exit(process, 20), 0)
        # The slow installer was asked for once (the cancelled run) and never again.
        self.assertEqual(self.server.log("/bb/pkg/%s/" % SLOW).count("GET"), 1)


if __name__ == "__main__":
    unittest.main(verbosity=2)
