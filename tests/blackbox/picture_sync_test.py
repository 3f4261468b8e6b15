"""The programs' pictures end to end: the real Pelmora.exe fetching them
several at a time from the sample update server, under faults."""
import socket
import time
import unittest
from urllib.parse import quote

from pelmora_case import DB_STAMP, LIST, MAIN_TITLE, START, PelmoraCase
from wine_harness import wait_until

PICTURES = ["cn.bmp", "en.bmp", "jp.bmp", "kr.bmp", "po.bmp"]
SETTINGS, SAVE, FRENCH, CANCEL = 1003, 1008, 1034, 1010
OFFERED = ["Halvex", "Quorin", "Pindral", "Strenna", "Veddimar", "Model Viewer"]


class PictureSync(PelmoraCase):
    def images(self):
        return self.wine.tools_folder() / "Pelmora" / "image"

    def served(self, name, picture):
        return (self.server.root / "tools" / "images" / name / picture).read_bytes()

    def local_stamps(self):
        return (self.wine.tools_folder() / "Pelmora" / "image_version.txt").read_bytes() \
            .split(b"\r\n")

    def served_stamps(self):
        return (self.server.root / "tools" / "image_version.txt").read_bytes().split(b"\r\n")

    def assert_pictures(self, name, expected):
        """`name`'s folder holds exactly `expected`, each as served, and nothing half-done."""
        folder = self.images() / name
        # Transfers given up on (time-outs) may still hold temporary files there.
        present = sorted(p.name for p in folder.iterdir()
                         if ".part-" not in p.name) if folder.exists() else []
        self.assertEqual(present, sorted(expected), name)
        for picture in expected:
            self.assertEqual((folder / picture).read_bytes(), self.served(name, picture),
                             f"{name}/{picture}")

    def test_an_installed_tool_that_is_not_offered_keeps_every_line_in_place(self):
        # Legacy Bridge (catalogue line 6, not offered) is listed only here.
        self.register("Legacy Bridge", "0.7.4")
        process = self.start()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        self.assertEqual([r[0] for r in self.rows(hwnd)],
                         OFFERED[:5] + ["Legacy Bridge", "Model Viewer"])
        self.assertTrue(self.pictures_complete())
        for name in OFFERED + ["Legacy Bridge"]:
            self.assert_pictures(name, PICTURES)
        self.assertEqual(self.local_stamps(), self.served_stamps())
        self.close_main(process, hwnd)

        # On a machine without it, its line is not taken, and Model Viewer's is still its own.
        self.unregister("Legacy Bridge")
        self.wine.forget_downloads()
        self.wine.write_db_stamp(DB_STAMP)
        process = self.start()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        self.assertEqual([r[0] for r in self.rows(hwnd)], OFFERED)
        self.assertTrue(self.pictures_complete())
        self.assert_pictures("Model Viewer", PICTURES)
        self.assertFalse((self.images() / "Legacy Bridge").exists())
        local, served = self.local_stamps(), self.served_stamps()
        self.assertEqual(local[:5] + local[6:], served[:5] + served[6:])
        self.assertNotEqual(local[5], served[5])  # fetched once the tool is listed
        self.close_main(process, hwnd)

    def test_a_stalled_host_and_a_missing_picture_hold_back_only_their_own_programs(self):
        # Quorin's pictures are on a host that takes the connection and never answers.
        silent = socket.socket()
        silent.bind(("127.0.0.1", 0))
        silent.listen(16)
        catalogue = self.server.root / "tools" / "program_list.txt"
        original = catalogue.read_bytes()
        try:
            text = original.decode("utf-16-le")
            quorin = self.server.base_url + "images/Quorin"
            self.assertIn(quorin, text)
            catalogue.write_bytes(text.replace(
                quorin, f"http://127.0.0.1:{silent.getsockname()[1]}/images/Quorin")
                .encode("utf-16-le"))
            self.server.rule("/tools/images/Pindral/jp.bmp", status=404)

            process = self.start()
            hwnd = self.main_window(60000)
            self.assertIsNotNone(hwnd)
            self.assertTrue(self.pictures_complete())
            for name in ["Halvex", "Strenna", "Veddimar", "Model Viewer"]:
                self.assert_pictures(name, PICTURES)
            self.assert_pictures("Pindral", [p for p in PICTURES if p != "jp.bmp"])
            self.assert_pictures("Quorin", [])
            # Only complete programs' lines are kept: the next start asks again for the others.
            local, served = self.local_stamps(), self.served_stamps()
            for row, name in enumerate(OFFERED[:5]):
                if name in ("Quorin", "Pindral"):
                    self.assertNotEqual(local[row], served[row], name)
                else:
                    self.assertEqual(local[row], served[row], name)
            self.assertIn("images/Quorin/kr.bmp failed: 1\n", self.log())  # a time-out
            self.close_main(process, hwnd)
        finally:
            catalogue.write_bytes(original)
            silent.close()

    def test_close_during_the_pictures_ends_at_once_and_leaves_no_half_picture(self):
        for name in OFFERED:
            for picture in PICTURES:
                self.server.rule(quote(f"/tools/images/{name}/{picture}"), delay_ms=8000)
        process = self.start()
        # The list is shown before the pictures; the window is closed while they come.
        self.assertTrue(wait_until(lambda: "Start-up: list shown" in self.log(), 60))
        main = [w["hwnd"] for w in self.wine.windows() if w["title"] == MAIN_TITLE]
        self.assertEqual(len(main), 1)
        closed_at = time.monotonic()
        self.assertTrue(self.wine.close(main[0]))
        self.assertEqual(self.wine.wait_exit(process, 30), 0)
        # Well before the first picture could have come.
        self.assertLess(time.monotonic() - closed_at, 6)
        self.assertIn("Window closing", self.log())
        self.assertNotIn("pictures complete", self.log())

        def pictures():
            """Files under a picture's own name; transfers cut off by the end of the
            process may leave temporary files, which the next start removes."""
            found = []
            for name in OFFERED:
                folder = self.images() / name
                if folder.exists():
                    found += [f"{name}/{p.name}" for p in folder.iterdir()
                              if ".part-" not in p.name]
            return found

        self.assertEqual(pictures(), [])
        time.sleep(9)  # past the pictures' delay: nothing of this run writes any more
        self.assertEqual(pictures(), [])
        self.assertFalse(set(self.local_stamps()[:6]) & set(self.served_stamps()[:6]))

    def test_the_list_takes_the_language_start_and_cancel_while_the_pictures_come(self):
        for name in OFFERED:
            for picture in PICTURES:
                self.server.rule(quote(f"/tools/images/{name}/{picture}"), delay_ms=5000)
        self.server.rule("/tools/packages/hq/Halvex/2.4.1/setup.exe", delay_ms=30000)
        process = self.start()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        self.assertTrue(wait_until(lambda: "Start-up: list shown" in self.log(), 30))
        self.assertEqual([r[0] for r in self.rows(hwnd)], OFFERED)

        # The language changes: texts and list follow at once.
        self.assertTrue(self.wine.click(hwnd, SETTINGS))
        dialog = self.wine.wait_window("SETTING", 10000)
        self.assertIsNotNone(dialog)
        self.assertTrue(self.wine.press(dialog, FRENCH))
        self.assertTrue(self.wine.press(dialog, SAVE))
        self.assertTrue(self.wine.wait_gone(dialog))
        french_start = self.wine.string_text("strings_fr.rc", "IDS_START_INSTALL")
        self.assertTrue(wait_until(
            lambda: self.wine.control(hwnd, START)["text"] == french_start, 10))

        # Start, then Cancel: the download is given up and the list is back.
        list_hwnd = self.list_hwnd(hwnd)
        self.assertTrue(self.wine.check_row(list_hwnd, 0))
        self.assertTrue(self.wine.click(hwnd, START))
        self.assertTrue(wait_until(lambda: self.wine.control(hwnd, CANCEL)["visible"], 10))
        self.assertTrue(self.wine.click(hwnd, CANCEL))
        self.assertTrue(wait_until(lambda: not self.wine.control(hwnd, CANCEL)["visible"], 10))

        # The pictures then arrive whole, and the stamps only after them.
        self.assertTrue(self.pictures_complete())
        for name in OFFERED:
            self.assert_pictures(name, PICTURES)
        local, served = self.local_stamps(), self.served_stamps()  # line 5: not listed here
        self.assertEqual(local[:5] + local[6:], served[:5] + served[6:])
        self.wine.screenshot("pictures_after_the_list")
        self.close_main(process, hwnd)

    def test_closing_while_a_picture_trickles_ends_the_process(self):
        self.server.rule(quote("/tools/images/Halvex/kr.bmp"), endless=1, rate=1)
        process = self.start()
        self.assertTrue(wait_until(lambda: "Image download Start!!" in self.log(), 60))
        main = [w["hwnd"] for w in self.wine.windows() if w["title"] == MAIN_TITLE]
        self.assertTrue(self.wine.close(main[0]))
        self.assertEqual(self.wine.wait_exit(process, 10), 0, self.log())
        self.assertIn("Main window closed: the process ends", self.log())
        # The single-instance marker went with the process.
        self.server.control("clear", path=quote("/tools/images/Halvex/kr.bmp"))
        process = self.start()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd, self.log())
        self.close_main(process, hwnd)


if __name__ == "__main__":
    unittest.main()
