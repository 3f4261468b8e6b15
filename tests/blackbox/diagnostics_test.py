"""Diagnostic lines reach the PELMORA_LOG file; the base URL comes from the
environment only when it is an http URL ending in /tools/."""
import tempfile
import unittest
from pathlib import Path

from wine_harness import WineSession

MAIN_TITLE = "Pelmora v1.3.2"


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


class Diagnostics(unittest.TestCase):
    def setUp(self):
        self.wine = WineSession()
        self.folder = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.wine.stop_all()
        self.wine.remove_settings()
        self.folder.cleanup()

    def run_once(self, base_url):
        log = Path(self.folder.name) / "pelmora.log"
        if log.exists():
            log.unlink()
        process = self.wine.start_pelmora(extra_env={
            "PELMORA_LOG": windows_path(log), "PELMORA_BASE_URL": base_url})
        hwnd = self.wine.wait_window(MAIN_TITLE, 30000)
        self.assertIsNotNone(hwnd)
        self.assertTrue(self.wine.close(hwnd))
        self.assertEqual(self.wine.wait_exit(process, 20), 0)
        return log.read_text("utf-8") if log.exists() else ""

    def test_log_file_receives_the_lines_and_base_url_is_checked(self):
        self.wine.write_settings("Language:Italian,Server:CHNA")
        text = self.run_once("http://127.0.0.1:9/pelmora/tools/")
        self.assertIn("Base URL from PELMORA_BASE_URL: http://127.0.0.1:9/pelmora/tools/", text)
        self.assertIn("Interface language 9, server region 3", text)

        for bad in ("https://127.0.0.1/tools/", "http://127.0.0.1/tool/", "not a url"):
            with self.subTest(url=bad):
                text = self.run_once(bad)
                self.assertIn("PELMORA_BASE_URL ignored", text)
                self.assertNotIn("Base URL from", text)


if __name__ == "__main__":
    unittest.main(verbosity=2)
