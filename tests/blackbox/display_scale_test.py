"""Pelmora.exe at display scales of 125, 150 and 200 %: the main window, its
buttons, its list and the settings dialog grow with the DPI, and the list's
check boxes stay inside their column. Runs in a Wine prefix of its own, whose
DPI it sets, so every other test stays at 96 dpi."""
import subprocess
import time
import unittest

from sample_server import SampleServer
from wine_harness import WineSession

MAIN_TITLE = "Pelmora v1.3.2"
START, SETTINGS, MINIMUM, CLOSE, PROGRAM_LIST = 1004, 1003, 1001, 1002, 1007
VIEW_BUTTON_BASE = 3024
CONFIG_CANCEL = 1009
DPI_KEYS = (r"HKCU\Control Panel\Desktop",
            r"HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts")

# dpi -> the main window's size; its buttons in 96-dpi units (ui/skin_layout.h).
SCALES = {120: (875, 500), 144: (1050, 600), 192: (1400, 800)}
BUTTONS = {START: (450, 354, 680, 380), SETTINGS: (541, 0, 632, 31), MINIMUM: (639, 0, 670, 32),
           CLOSE: (668, 0, 700, 32)}
CONFIG_SIZE = (530, 254)


def scaled(units, dpi):
    return (units * dpi + 48) // 96


class DisplayScale(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.wine = WineSession()
        cls.wine.prefix = cls.wine.prefix.parent / "wineprefix-display-scale"
        cls.prefix_tool = str(cls.wine.source_dir / "tools" / "wine-prefix.sh")
        cls.prefix("init")
        cls.server = SampleServer(cls.__name__).start()
        cls.server.write_tree()
        cls.wine.register("Pelmora", "1.3.2")  # up to date: no self-update question
        cls.wine.write_settings("Language:English,Server:HQ")

    @classmethod
    def tearDownClass(cls):
        cls.wine.stop_all()
        cls.server.stop()
        cls.prefix("stop")

    @classmethod
    def prefix(cls, action):
        subprocess.run(["bash", cls.prefix_tool, action, str(cls.wine.prefix)], check=True,
                       timeout=300, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def set_dpi(self, dpi):
        for key in DPI_KEYS:
            code, _ = self.wine.run_wine("reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD",
                                         "/d", str(dpi), "/f")
            self.assertEqual(code, 0)
        # The server reads the DPI as it starts.
        self.prefix("stop")
        self.prefix("init")

    def start(self):
        process = self.wine.start_pelmora(extra_env={"PELMORA_BASE_URL": self.server.base_url})
        deadline = time.monotonic() + 90
        while time.monotonic() < deadline:  # a first start at a new DPI builds font caches
            main = self.wine.wait_window(MAIN_TITLE, 1000)
            if main:
                return process, main
            notice = self.wine.wait_window("Pelmora", 500, "#32770")
            if notice:
                self.wine.click(notice, 1)  # IDOK
        self.wine.screenshot("display_scale_no_main_window")
        self.fail("the main window did not show")

    def test_the_skin_scales_with_the_dpi(self):
        for dpi, size in SCALES.items():
            with self.subTest(dpi=dpi):
                self.set_dpi(dpi)
                process, main = self.start()
                time.sleep(1)
                window, children = self.wine.rects(main)
                self.assertEqual(window, size)
                for control, box in BUTTONS.items():
                    self.assertEqual(children[control], tuple(scaled(v, dpi) for v in box),
                                     f"control {control}")
                self.assertEqual(children[PROGRAM_LIST], tuple(scaled(v, dpi)
                                                               for v in (10, 80, 420, 344)))

                left, icon_left, column_right, row_height = \
                    self.wine.list_check_box(self.wine.control(main, PROGRAM_LIST)["hwnd"])
                self.assertGreaterEqual(left, 0, "check box cut off at the left")
                self.assertLessEqual(icon_left, column_right, "check box beyond its column")
                self.assertGreaterEqual(row_height, scaled(25, dpi))

                # The rows' View buttons sit inside their list, as tall as a row allows.
                list_hwnd = self.wine.control(main, PROGRAM_LIST)["hwnd"]
                _, buttons = self.wine.rects(list_hwnd)
                view = buttons.get(VIEW_BUTTON_BASE)
                self.assertIsNotNone(view, "row 0 has no View button")
                self.assertEqual(view[3] - view[1], row_height - 2 * scaled(1, dpi))
                self.wine.screenshot(f"display_scale_{dpi}")

                self.assertTrue(self.wine.click(main, SETTINGS))
                dialog = self.wine.wait_window("SETTING", 10000)
                self.assertIsNotNone(dialog)
                time.sleep(0.5)
                window, _ = self.wine.rects(dialog)
                self.assertEqual(window, tuple(scaled(v, dpi) for v in CONFIG_SIZE))
                self.wine.screenshot(f"display_scale_{dpi}_settings")
                self.assertTrue(self.wine.press(dialog, CONFIG_CANCEL))
                self.assertTrue(self.wine.wait_gone(dialog))

                self.assertTrue(self.wine.close(main))
                self.assertEqual(self.wine.wait_exit(process, 30), 0)


if __name__ == "__main__":
    unittest.main()
