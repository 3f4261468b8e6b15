"""A second Pelmora refuses to run; quiet mode stays silent; the marker goes
away with the first instance."""
import unittest

from pelmora_case import BOX_CLASS, MAIN_TITLE, PelmoraCase
from wine_harness import wait_until


class SingleInstance(PelmoraCase):
    def start_first(self, extra_env=None):
        first = self.start(extra_env=extra_env)
        hwnd = self.wine.wait_window(MAIN_TITLE, 30000)
        if hwnd is None:  # say what was on screen and how far the start-up came
            self.fail("the first instance shows no main window; windows: %s; log: %s" % (
                [(w["class"], w["title"]) for w in self.wine.windows() if w["visible"]],
                self.log()[-1500:]))
        return first, hwnd

    def close_first(self, first, hwnd):
        self.assertTrue(self.wine.close(hwnd))
        self.assertEqual(self.wine.wait_exit(first, 20), 0, "the first instance ends when closed")

    def test_second_start_says_already_running_in_the_settings_language(self):
        for word, table in (("English", "strings_en.rc"), ("Korean", "strings_ko.rc"),
                            ("German", "strings_de.rc")):
            with self.subTest(language=word):
                self.wine.write_settings(f"Language:{word},Server:HQ")
                first, main_hwnd = self.start_first()

                second = self.wine.start_pelmora()
                box = self.wine.wait_window("Pelmora", 30000, BOX_CLASS)
                self.assertIsNotNone(box, "the second instance shows a message box")
                children = self.wine.texts(box)
                statics = [c["text"] for c in children if c["class"].lower() == "static" and c["text"]]
                buttons = [c for c in children if c["class"].lower() == "button"]
                expected = self.wine.string_text(table, "IDS_ALREADY_RUNNING")
                self.assertIn(expected, statics)
                self.assertEqual(len(buttons), 1, "a single OK button")
                self.assertEqual(buttons[0]["id"], 1)
                self.wine.screenshot(f"already-running-{word.lower()}")

                self.assertTrue(self.wine.click(box, 1))
                self.assertEqual(self.wine.wait_exit(second, 20), 0, "OK ends the second instance")
                self.assertEqual(self.wine.wait_window(MAIN_TITLE, 2000), main_hwnd,
                                 "the first instance is undisturbed")
                self.assertIsNone(first.poll())
                self.close_first(first, main_hwnd)

    def test_quiet_second_start_ends_without_any_window(self):
        first, main_hwnd = self.start_first()
        quiet = self.wine.start_pelmora("Halvex")
        self.assertEqual(self.wine.wait_exit(quiet, 30), 0)
        self.assertEqual(self.message_boxes(), [])

        # A command line of a single blank is quiet mode as well.
        pelmora_windows_path = "Z:" + self.wine.exe.replace("/", "\\")
        code, out = self.wine.driver("run", "30000", pelmora_windows_path, "Pelmora.exe  ")
        self.assertEqual((code, out.strip()), (0, "0"))
        self.assertEqual(self.message_boxes(), [])
        self.assertEqual(self.wine.wait_window(MAIN_TITLE, 2000), main_hwnd)
        self.close_first(first, main_hwnd)

    def test_new_start_runs_after_the_first_has_ended(self):
        self.wine.write_settings("Language:English,Server:HQ")
        first, main_hwnd = self.start_first()
        self.close_first(first, main_hwnd)
        self.assertTrue(wait_until(lambda: not any(
            w["title"] == MAIN_TITLE for w in self.wine.windows()), 10))

        again, again_hwnd = self.start_first()
        self.assertEqual(self.message_boxes(), [])
        self.wine.screenshot("main-window")
        self.close_first(again, again_hwnd)

    def test_second_start_without_settings_speaks_the_system_language(self):
        german = {"LC_ALL": "de_DE.UTF-8", "LANG": "de_DE.UTF-8"}
        first, main_hwnd = self.start_first(extra_env=german)
        self.wine.remove_settings()  # (the first start would open the settings dialog)
        second = self.wine.start_pelmora(extra_env=german)
        box = self.wine.wait_window("Pelmora", 30000, BOX_CLASS)
        self.assertIsNotNone(box)
        statics = [c["text"] for c in self.wine.texts(box) if c["class"].lower() == "static"]
        self.assertIn(self.wine.string_text("strings_de.rc", "IDS_ALREADY_RUNNING"), statics)
        self.assertTrue(self.wine.click(box, 1))
        self.assertEqual(self.wine.wait_exit(second, 20), 0)
        self.close_first(first, main_hwnd)


if __name__ == "__main__":
    unittest.main(verbosity=2)
