"""Pelmora.exe's skinned windows against the sample update server: the main
window, the settings dialog and the about box in five languages (with
screenshots), and a language chosen in the settings dialog taking effect at
once and at the next start."""
import subprocess
import time
import unittest

from sample_server import SampleServer
from wine_harness import WineSession, wait_until

MAIN_TITLE = "Pelmora v1.3.2"
ABOUT_TITLE = "Pelmora 정보"
LANGUAGES = {"English": "strings_en.rc", "Korean": "strings_ko.rc", "Japanese": "strings_ja.rc",
             "German": "strings_de.rc", "French": "strings_fr.rc"}
SETTINGS, START, SAVE, CANCEL, FRENCH = 1003, 1004, 1008, 1009, 1034
WM_SYSCOMMAND, IDM_ABOUTBOX, IDOK = 0x0112, 0x10, 1


class SkinnedWindows(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.wine = WineSession()
        # A test that ran Wine in another locale makes Wine redo its font
        # set-up, which drops the CJK font link these screenshots need.
        subprocess.run(["bash", str(cls.wine.source_dir / "tools" / "wine-prefix.sh"), "init",
                        str(cls.wine.prefix)], check=True, timeout=120,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        cls.server = SampleServer(cls.__name__).start()
        cls.server.write_tree()
        # Up to date, so that no self-update question comes first.
        cls.wine.register("Pelmora", "1.3.2")

    @classmethod
    def tearDownClass(cls):
        cls.wine.unregister("Pelmora")
        cls.server.stop()

    def tearDown(self):
        self.wine.stop_all()
        self.wine.remove_settings()

    def text(self, language, ids_name):
        return self.wine.string_text(LANGUAGES[language], ids_name)

    def start(self):
        """Starts Pelmora and answers its notices until the main window or a
        settings dialog shows; returns (process, main hwnd or None)."""
        process = self.wine.start_pelmora(extra_env={"PELMORA_BASE_URL": self.server.base_url})
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            main = self.wine.wait_window(MAIN_TITLE, 1000)
            if main:
                return process, main
            notice = self.wine.wait_window("Pelmora", 500, "#32770")
            if notice:
                self.wine.click(notice, IDOK)
        self.fail("the main window did not show")

    def child_text(self, hwnd, control_id):
        for row in self.wine.texts(hwnd):
            if row["id"] == control_id:
                return row["text"]
        return None

    def close(self, process, hwnd):
        self.assertTrue(self.wine.close(hwnd))
        self.assertEqual(self.wine.wait_exit(process, 30), 0)

    def test_windows_in_five_languages(self):
        for language in LANGUAGES:
            with self.subTest(language=language):
                self.wine.write_settings(f"Language:{language},Server:HQ")
                process, main = self.start()
                time.sleep(1)
                self.assertEqual(self.child_text(main, START), self.text(language, "IDS_START_INSTALL"))
                self.assertEqual(self.child_text(main, SETTINGS), self.text(language, "IDS_SETTING"))
                self.wine.screenshot(f"main_browse_{language.lower()}")

                self.assertTrue(self.wine.click(main, SETTINGS))
                dialog = self.wine.wait_window(self.text(language, "IDS_SETTING_TITLE"), 10000)
                self.assertIsNotNone(dialog)
                time.sleep(0.5)
                self.wine.screenshot(f"settings_{language.lower()}")
                self.assertTrue(self.wine.press(dialog, CANCEL))
                self.assertTrue(self.wine.wait_gone(dialog))

                self.assertTrue(self.wine.post(main, WM_SYSCOMMAND, IDM_ABOUTBOX))
                about = self.wine.wait_window(ABOUT_TITLE, 10000)
                self.assertIsNotNone(about)
                time.sleep(0.5)
                self.wine.screenshot(f"about_{language.lower()}")
                self.assertTrue(self.wine.click(about, IDOK))
                self.assertTrue(self.wine.wait_gone(about))
                self.close(process, main)

    def test_french_saved_in_settings_applies_now_and_at_next_start(self):
        self.wine.write_settings("Language:English,Server:HQ")
        process, main = self.start()
        self.assertTrue(self.wine.click(main, SETTINGS))
        dialog = self.wine.wait_window("SETTING", 10000)
        self.assertIsNotNone(dialog)
        self.assertTrue(self.wine.press(dialog, FRENCH))
        self.assertTrue(self.wine.press(dialog, SAVE))
        self.assertTrue(self.wine.wait_gone(dialog))
        config = self.wine.tools_folder() / "config.txt"
        self.assertEqual(config.read_bytes(), b"Language:French,Server:HQ")
        french_start = self.text("French", "IDS_START_INSTALL")
        self.assertTrue(wait_until(lambda: self.child_text(main, START) == french_start, 10))
        self.assertEqual(self.child_text(main, SETTINGS), self.text("French", "IDS_SETTING"))
        self.wine.screenshot("main_after_saving_french")
        self.close(process, main)

        process, main = self.start()
        self.assertEqual(self.child_text(main, START), french_start)
        self.close(process, main)

    def test_settings_that_cannot_be_written_leave_texts_in_the_language_in_use(self):
        self.wine.write_settings("Language:Korean,Server:HQ")
        process, main = self.start()
        config = self.wine.tools_folder() / "config.txt"
        config.unlink()
        config.mkdir()  # Save cannot create the file; the next read finds none
        try:
            self.assertTrue(self.wine.click(main, SETTINGS))
            dialog = self.wine.wait_window(self.text("Korean", "IDS_SETTING_TITLE"), 10000)
            self.assertIsNotNone(dialog)
            self.assertTrue(self.wine.press(dialog, FRENCH))
            self.assertTrue(self.wine.press(dialog, SAVE))
            self.assertTrue(self.wine.wait_gone(dialog))
            # The language is detected again (English in this prefix), and the
            # window follows it rather than staying Korean.
            english_start = self.text("English", "IDS_START_INSTALL")
            self.assertTrue(wait_until(lambda: self.child_text(main, START) == english_start, 10))
            self.close(process, main)
        finally:
            config.rmdir()

    def test_cancel_on_first_run_writes_the_settings_it_runs_with(self):
        self.wine.remove_settings()
        config = self.wine.tools_folder() / "config.txt"
        # The first run asks for the settings during the start-up, before the list.
        process = self.wine.start_pelmora(extra_env={"PELMORA_BASE_URL": self.server.base_url})
        deadline = time.monotonic() + 60
        dialog = None
        while dialog is None and time.monotonic() < deadline:
            dialog = self.wine.wait_window("SETTING", 1000)
            notice = None if dialog else self.wine.wait_window("Pelmora", 500, "#32770")
            if notice:
                self.wine.click(notice, IDOK)
        self.assertIsNotNone(dialog, "the first run's settings dialog")
        self.assertFalse(config.exists())
        self.assertTrue(self.wine.press(dialog, CANCEL))
        main = self.wine.wait_window(MAIN_TITLE, 30000)
        self.assertIsNotNone(main)
        self.assertTrue(wait_until(config.exists, 10))
        self.assertEqual(config.read_bytes(), b"Language:English,Server:HQ")
        self.close(process, main)

if __name__ == "__main__":
    unittest.main(verbosity=2)
