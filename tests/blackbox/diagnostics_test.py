"""Diagnostic lines reach the PELMORA_LOG file; the base URL comes from the
environment only when it is an http or https URL ending in /tools/."""
import time
import unittest

from pelmora_case import MAIN_TITLE, PelmoraCase


class Diagnostics(PelmoraCase):
    def run_once(self, base_url):
        """Runs Pelmora to its end: the list closed, or the failure box answered."""
        if self.log_path.exists():
            self.log_path.unlink()
        process = self.start(base_url=base_url)
        deadline = time.monotonic() + 60
        while process.poll() is None and time.monotonic() < deadline:
            for window in self.wine.windows():
                if window["visible"] and window["title"] in (MAIN_TITLE, "Pelmora"):
                    self.wine.close(window["hwnd"])
            time.sleep(0.5)
        self.assertEqual(self.wine.wait_exit(process, 20), 0)
        return self.log()

    def test_log_file_receives_the_lines_and_base_url_is_checked(self):
        self.wine.write_settings("Language:Italian,Server:CHNA")
        text = self.run_once(self.server.base_url)
        self.assertIn("Base URL from PELMORA_BASE_URL: " + self.server.base_url, text)
        self.assertIn("Interface language 9, server region 3", text)
        self.assertIn("[Pelmora]Start-up: list ready", text)

        # Every local user can read the log: a URL's user-info never reaches it.
        text = self.run_once(self.server.base_url.replace("://", "://user:secret@"))
        self.assertIn("Base URL from PELMORA_BASE_URL: " + self.server.base_url, text)
        self.assertNotIn("secret", text)

        for bad in ("ftp://127.0.0.1/tools/", "http://127.0.0.1/tool/", "not a url"):
            with self.subTest(url=bad):
                text = self.run_once(bad)
                self.assertIn("PELMORA_BASE_URL ignored", text)
                self.assertNotIn("Base URL from", text)


if __name__ == "__main__":
    unittest.main(verbosity=2)
