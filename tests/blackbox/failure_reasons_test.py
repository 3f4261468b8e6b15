"""Every way Pelmora gives up leaves its reason in the log, the log is kept
in Pelmora's own folder by default, and local faults get local messages:
the real Pelmora.exe under Wine against the sample server, which injects
the faults."""
import os
import shutil
import unittest

from pelmora_case import MAIN_TITLE, START, PelmoraCase
from wine_harness import wait_until

IDOK = 1
LOG_CAP = 192 * 1024  # win::kLogFileMaxBytes
LINE = ("9,k,Tool,c,j,1.0,TRUE,http://127.0.0.1/img,http://127.0.0.1/hq,"
        "http://127.0.0.1/amr,http://127.0.0.1/eur,http://127.0.0.1/chna\n")


class FailureReasons(PelmoraCase):
    def catalogue_url(self):
        return self.server.base_url + "program_list.txt"

    def test_each_silent_exit_leaves_its_reason(self):
        catalogue = self.server.root / "tools" / "program_list.txt"
        original = catalogue.read_bytes()
        cases = [
            ("server error", {"status": 500}, None, "HTTP status 500"),
            ("cut short", {"close_after": 100}, None, "the body was cut short"),
            ("5 MB", {}, original + b"\0" * (5 << 20),
             "the body is larger than the cap of 1048576 bytes"),
            ("10,000 lines", {}, original + (LINE * 10000).encode("utf-16-le"),
             "the body is larger than the cap"),
        ]
        try:
            for name, rules, body, reason in cases:
                with self.subTest(name):
                    self.server.control("reset")
                    if rules:
                        self.server.rule("/tools/program_list.txt", **rules)
                    catalogue.write_bytes(body or original)
                    if self.log_path.exists():
                        self.log_path.unlink()
                    self.expect_closes_silently(self.start())
                    log = self.log()
                    failed = "[Pelmora]Download failed: " + self.catalogue_url() + ": "
                    self.assertIn(failed + reason, log)
                    self.assertIn("[Pelmora]Catalogue not fetched: ", log)
                    self.assertIn("[Pelmora]Start-up ends", log)
                    # The catalogue may be requested early; the closing says why in its turn.
                    self.assertLess(log.index("Program_list.txt Start!!"),
                                    log.index("[Pelmora]Catalogue not fetched: "))
        finally:
            catalogue.write_bytes(original)

    def run_to_list(self, **env):
        process = self.start(extra_env=env)
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        return process, hwnd

    def test_log_file_in_pelmoras_folder_is_capped_and_keeps_the_last_runs(self):
        folder = self.wine.tools_folder() / "Pelmora"
        folder.mkdir(parents=True, exist_ok=True)
        log, old = folder / "pelmora.log", folder / "pelmora.old.log"
        log.write_bytes(b"an earlier run\n" * ((LOG_CAP - 2000) // 15))
        for run in range(2):
            process, hwnd = self.run_to_list(PELMORA_LOG="")
            self.close_main(process, hwnd)
        self.assertFalse(self.log_path.exists(), "PELMORA_LOG empty: the default file only")
        # The earlier runs' file filled up during the first run and was moved aside.
        text = old.read_text("utf-8") + log.read_text("utf-8")
        self.assertLessEqual(log.stat().st_size, LOG_CAP)
        self.assertLessEqual(old.stat().st_size, LOG_CAP)
        self.assertTrue(text.startswith("an earlier run"), "the full file moved aside")
        self.assertEqual(text.count("[Pelmora]---- run of "), 2, "both runs")
        self.assertEqual(text.count("[Pelmora]Start-up: list ready"), 2)
        self.assertTrue(text.rstrip().endswith("Stop Thread Complete!!"))

        # With PELMORA_LOG set the lines go there instead.
        size = log.stat().st_size
        process, hwnd = self.run_to_list()
        self.close_main(process, hwnd)
        self.assertIn("list ready", self.log())
        self.assertEqual(log.stat().st_size, size)

        # A neighbour's hard link at the log's name: neither written to nor cut.
        victim = self.wine.tools_folder() / "victim.txt"
        victim.write_bytes(b"precious\n" * 100)
        self.addCleanup(victim.unlink, missing_ok=True)
        log.unlink()
        os.link(victim, log)
        process, hwnd = self.run_to_list(PELMORA_LOG="")
        self.close_main(process, hwnd)
        self.assertEqual(victim.read_bytes(), b"precious\n" * 100)

    def test_local_faults_get_local_messages(self):
        tools = self.wine.tools_folder()
        # Pelmora's folder is a file: the folder message with its path, not "no internet".
        (tools / "Pelmora").write_bytes(b"in the way")
        try:
            process = self.start()
            box = self.message_box()
            self.assertIsNotNone(box)
            texts = " ".join(self.box_text(box))
            self.assertIn(self.english("IDS_FOLDER_NOT_WRITABLE"), texts)
            self.assertNotIn(self.english("IDS_NO_INTERNET"), texts)
            self.wine.click(box, IDOK)
            self.assertEqual(self.wine.wait_exit(process, 30), 0)
            self.assertIn("[Pelmora]Folder cannot be written: "
                          r"C:\users\Public\Documents\Korvath\tools\Pelmora (", self.log())
        finally:
            (tools / "Pelmora").unlink()

        # The self-version file cannot be put in place (a folder has its name):
        # a local fault too, not a missing internet.
        (tools / "Pelmora" / "Pelmora.txt").mkdir(parents=True)
        try:
            process = self.start()
            box = self.message_box()
            self.assertIsNotNone(box)
            self.assertIn(self.english("IDS_FOLDER_NOT_WRITABLE"), " ".join(self.box_text(box)))
            self.wine.click(box, IDOK)
            self.assertEqual(self.wine.wait_exit(process, 30), 0)
            self.assertIn("Pelmora.txt Failed!! (error ", self.log())
        finally:
            (tools / "Pelmora" / "Pelmora.txt").rmdir()

        # config.txt is a folder: a log line, the list, and no settings dialog, each start.
        self.wine.remove_settings()
        (tools / "config.txt").mkdir()
        # Left-overs: Pelmora's own stale temporaries go, sibling tools' files stay.
        sibling = tools / "Other Tool"
        sibling.mkdir(exist_ok=True)
        theirs = [sibling / "data.bin.part-99999-1", sibling / "_1setup.exe",
                  tools / "notes.txt.part-99999-1"]
        ours = [tools / "db_version.txt.part-99999-1",
                tools / "Pelmora" / "downloaded_program" / "Halvex" / "setup.exe.part-99999-2",
                tools / "Pelmora" / "downloaded_program" / "Halvex" / "_1setup.exe"]
        for path in theirs + ours:
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(b"x")
        try:
            for run in range(2):
                process, hwnd = self.run_to_list()
                self.assertFalse(wait_until(lambda: any(
                    w["visible"] and w["title"] == self.english("IDS_SETTING_TITLE")
                    for w in self.wine.windows()), 3), "no settings dialog")
                if run == 1:
                    break
                self.close_main(process, hwnd)
            self.assertEqual(self.log().count("[Pelmora]Settings file is a folder: "), 2)
            self.assertEqual([p for p in theirs if not p.exists()], [], "siblings' files stay")
            self.assertEqual([p for p in ours if p.exists()], [], "Pelmora's stale files go")

            # A download folder that cannot be written (read-only where the user
            # may not write, or a file in its place): the folder message, no "Try again?".
            target = tools / "Pelmora" / "downloaded_program" / "Halvex"
            os.chmod(target, 0o555)
            if os.access(target, os.W_OK):  # the superuser writes anyway
                target.rmdir()
                target.write_bytes(b"in the way")
            list_hwnd = self.list_hwnd(hwnd)
            self.assertTrue(self.wine.check_row(list_hwnd, 0))
            self.assertTrue(wait_until(lambda: self.wine.control(hwnd, START)["enabled"], 5))
            self.assertTrue(self.wine.click(hwnd, START))
            box = self.message_box()
            self.assertIsNotNone(box)
            texts = " ".join(self.box_text(box))
            self.assertIn(self.english("IDS_FOLDER_NOT_WRITABLE"), texts)
            self.assertIn("[Pelmora]Folder cannot be written: " + r"C:\users\Public\Documents"
                          r"\Korvath\tools\Pelmora\downloaded_program\Halvex (", self.log())
            self.wine.click(box, IDOK)
            self.assertFalse(wait_until(lambda: self.message_boxes(), 2), "no retry question")
            self.assertEqual(self.server.requests("/tools/packages/"), [])
            self.close_main(process, hwnd)
        finally:
            target = tools / "Pelmora" / "downloaded_program" / "Halvex"
            if target.is_dir():
                os.chmod(target, 0o755)
            (tools / "config.txt").rmdir()
            for path in theirs:
                if path.exists():
                    path.unlink()
            sibling.rmdir()

    def test_links_planted_in_the_shared_folder_are_not_written_through(self):
        tools = self.wine.tools_folder()
        outside = self.wine.documents() / "elsewhere"
        outside.mkdir(exist_ok=True)
        (outside / "setup.exe").write_bytes(b"someone else's")
        (outside / "stamps").write_bytes(b"someone else's stamps\r\n")
        downloads = tools / "Pelmora" / "downloaded_program"
        downloads.mkdir(parents=True, exist_ok=True)
        shutil.rmtree(downloads / "Halvex", ignore_errors=True)
        (downloads / "Halvex").symlink_to(outside, target_is_directory=True)  # a junction
        stamps = tools / "Pelmora" / "image_version.txt"
        stamps.unlink(missing_ok=True)
        os.link(outside / "stamps", stamps)  # a hard link where a kept file is replaced
        try:
            process, hwnd = self.run_to_list()
            self.assertTrue(self.pictures_complete())  # the stamps are written after the list
            self.assertIn("[Pelmora]Not written through a link (a junction, symbolic or hard "
                          r"link): C:\users\Public\Documents\Korvath\tools\Pelmora\image_version.txt",
                          self.log())
            self.assertTrue(self.wine.check_row(self.list_hwnd(hwnd), 0))
            self.assertTrue(wait_until(lambda: self.wine.control(hwnd, START)["enabled"], 5))
            self.assertTrue(self.wine.click(hwnd, START))
            box = self.message_box()
            self.assertIsNotNone(box)
            self.assertIn(self.english("IDS_FOLDER_NOT_WRITABLE"), " ".join(self.box_text(box)))
            self.assertIn("[Pelmora]Not written through a link (a junction, symbolic or hard "
                          r"link): C:\users\Public\Documents\Korvath\tools\Pelmora"
                          r"\downloaded_program\Halvex", self.log())
            self.wine.click(box, IDOK)
            self.assertEqual(self.server.requests("/tools/packages/"), [])
            self.close_main(process, hwnd)
            self.assertEqual(sorted(p.name for p in outside.iterdir()), ["setup.exe", "stamps"])
            self.assertEqual((outside / "setup.exe").read_bytes(), b"someone else's")
            self.assertEqual((outside / "stamps").read_bytes(), b"someone else's stamps\r\n")
        finally:
            (downloads / "Halvex").unlink()
            stamps.unlink(missing_ok=True)
            shutil.rmtree(outside)


if __name__ == "__main__":
    unittest.main(verbosity=2)
