"""Pelmora's start-up end to end: the real program against the sample update
server, with real uninstall keys, driven from outside."""
import unittest
from pathlib import Path

from pelmora_case import DB_STAMP, PICTURE, START, PelmoraCase
from wine_harness import wait_until

IDYES, IDNO, IDOK = 6, 7, 1
WM_KEYDOWN, VK_ESCAPE = 0x100, 0x1B
INSTALL = 2024  # row 0's install button, inside the list
SAMPLE_ROWS = ["Halvex", "Quorin", "Pindral", "Strenna", "Veddimar", "Model Viewer"]


class Startup(PelmoraCase):
    tree_options = {"installers": True}

    def test_typical_run_lists_the_catalogue_with_installed_states(self):
        self.register("Halvex", "2.4.0")        # older: Update
        self.register("Quorin", "1.8.0")        # the server's: latest
        self.register("Model Viewer", "0.9.2")  # id above 4: its English name is the key
        process = self.start()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        self.assertEqual(self.rows(hwnd), [
            ("Halvex", "Update"), ("Quorin", "latest"), ("Pindral", "Not installed"),
            ("Strenna", "Not installed"), ("Veddimar", "Not installed"),
            ("Model Viewer", "Update")])
        self.assertTrue(self.wine.control(hwnd, PICTURE)["visible"])
        self.assertFalse(self.wine.control(hwnd, START)["enabled"])
        self.wine.screenshot("startup-typical-run")
        log = self.log()
        self.assertIn("[Pelmora]Start-up: list ready", log)
        self.assertIn("6 programs", log)
        self.assertEqual(self.message_boxes(), [], "databases current, Pelmora current")

        # The pictures arrived: five per listed program, none for the hidden one.
        images = self.wine.tools_folder() / "Pelmora" / "image"
        for name in SAMPLE_ROWS:
            self.assertEqual(sorted(p.name for p in (images / name).iterdir()),
                             ["cn.bmp", "en.bmp", "jp.bmp", "kr.bmp", "po.bmp"])
        self.assertFalse((images / "Legacy Bridge").exists())
        self.install_the_update(hwnd)
        self.close_main(process, hwnd)

        # Second start: the stamps are unchanged, so only the small files are asked for.
        self.server.control("reset")
        process = self.start()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        requested = self.server.requests("/tools/")
        self.assertEqual(sorted(r.split(" ")[1] for r in requested), [
            "/tools/Pelmora.txt", "/tools/db_version.txt", "/tools/image_version.txt",
            "/tools/program_list.txt"])
        self.close_main(process, hwnd)

    def install_the_update(self, hwnd):
        """Tick Halvex, Start, Install: its update arrives and runs. A build
        without the install workflow keeps Start disabled and ends here."""
        list_hwnd = self.list_hwnd(hwnd)
        self.assertTrue(self.wine.check_row(list_hwnd, 0))
        if not wait_until(lambda: self.wine.control(hwnd, START)["enabled"], 3):
            return
        self.assertTrue(self.wine.click(hwnd, START))
        install = lambda: self.wine.control(list_hwnd, INSTALL)
        self.assertTrue(wait_until(lambda: (install() or {}).get("visible"), 60),
                        "the download ends with an Install button")
        folder = self.wine.work_folder() / "downloaded_program" / "Halvex"
        self.assertEqual((folder / "setup_light.exe").read_bytes()[:2], b"MZ")
        self.assertEqual((folder / "version.txt").read_text().strip(), "2.4.1")
        self.assertTrue(self.wine.click(list_hwnd, INSTALL))
        # The row's buttons are made anew when it is detected again.
        self.assertTrue(wait_until(lambda: (install() or {}).get("text") == "Execute", 60),
                        "the installer ran and the row reads Execute")
        self.assertEqual(self.wine.registered_version("Halvex"), "2.4.1")
        self.wine.screenshot("startup-typical-run-installed")

    def test_a_tool_neither_installed_nor_offered_is_absent_until_installed(self):
        process = self.start()
        hwnd = self.main_window()
        self.assertEqual([name for name, _ in self.rows(hwnd)], SAMPLE_ROWS)
        self.close_main(process, hwnd)

        self.register("Legacy Bridge", "0.7.4")
        process = self.start()
        hwnd = self.main_window()
        self.assertEqual(self.rows(hwnd)[5:], [("Legacy Bridge", "latest"),
                                               ("Model Viewer", "Not installed")])
        self.close_main(process, hwnd)

    def test_first_model_databases_ask_for_a_restart_of_the_tools(self):
        (self.wine.tools_folder() / "db_version.txt").unlink()
        process = self.start()
        box, _ = self.expect_box("IDS_DB_UPDATED", IDOK)
        self.assertIsNotNone(self.main_window())
        tools = self.wine.tools_folder()
        self.assertEqual((tools / "db_version.txt").read_bytes(), DB_STAMP.encode() + b"\r\n")
        self.assertTrue((tools / "modelinfo_chna.db").exists())
        self.close_main(process, self.main_window())

    def test_self_update_no_goes_on_and_yes_starts_the_installer(self):
        self.register("Pelmora", "1.3.1")
        process = self.start()
        box, _ = self.expect_box("IDS_SELF_UPDATE_FOUND", IDNO)
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd, "No goes on to the list")
        self.assertEqual(len(self.rows(hwnd)), 6)
        self.close_main(process, hwnd)

        self.unregister("Pelmora")  # not registered at all: asked as well
        process = self.start()
        self.expect_box("IDS_SELF_UPDATE_FOUND", IDYES)
        setup = self.wine.wait_window("Pelmora 1.3.2 Setup: Installation Folder", 60000)
        self.assertIsNotNone(setup, "Pelmora's own installer runs")
        self.wine.screenshot("startup-self-update-installer")
        self.assertEqual(self.wine.wait_exit(process, 30), 0, "and Pelmora closes")
        self.assertEqual(self.wine.wait_window("Pelmora v1.3.2", 500), None)
        installer = self.wine.work_folder() / "downloaded_program" / "Pelmora" / "setup.exe"
        self.assertEqual(installer.read_bytes()[:2], b"MZ")
        self.wine.close(setup)
        self.assertTrue(self.wine.wait_gone(setup, 20000))

    def test_yes_with_an_unreachable_installer_goes_on_without_a_message(self):
        self.register("Pelmora", "1.3.1")
        self.server.rule("/tools/Pelmora/setup.exe", status=404)
        process = self.start()
        self.expect_box("IDS_SELF_UPDATE_FOUND", IDYES)
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        self.assertEqual(self.message_boxes(), [])
        self.close_main(process, hwnd)

    def test_unreachable_server_says_so_and_closes(self):
        dead = "http://127.0.0.1:9/tools/"  # discard port: nothing listens
        process = self.start(base_url=dead)
        self.expect_box("IDS_NO_INTERNET", IDOK)
        self.assertEqual(self.wine.wait_exit(process, 30), 0)
        self.assertIn("[Pelmora]DownloadToFile, Pelmora.txt Failed!!", self.log())

        quiet = self.start("Halvex", base_url=dead)
        self.expect_closes_silently(quiet)

    def test_catalogue_failure_closes_silently(self):
        self.server.rule("/tools/program_list.txt", status=500)
        for args in ((), ("Halvex",)):
            with self.subTest(args=args):
                process = self.start(*args)
                self.expect_closes_silently(process)
                self.assertIn("Program_list.txt Start!!", self.log())

    def test_an_endless_catalogue_is_a_failed_one_and_leftovers_are_cleared(self):
        # What an earlier run left: a dead process's temporary file, an old
        # retry's installer, and a partial body that a later Start continues.
        folder = self.wine.work_folder() / "downloaded_program/Halvex"
        folder.mkdir(parents=True, exist_ok=True)
        for name in ("setup.exe.part-999999-1", "_1setup.exe", "setup.exe.partial"):
            (folder / name).write_bytes(b"left over")
        self.server.rule("/tools/program_list.txt", endless=1)
        process = self.start()
        self.expect_closes_silently(process)
        self.assertEqual(sorted(p.name for p in folder.iterdir()), ["setup.exe.partial"])

    def splash(self):
        found = []
        def shown():
            found[:] = [w["hwnd"] for w in self.wine.windows()
                        if w["visible"] and w["class"] == "#32770" and w["title"] == ""]
            return bool(found) and "Splash shown" in self.log()
        self.assertTrue(wait_until(shown, 30), "the splash: " + self.log())
        return found[0]

    def test_a_trickling_server_cannot_hold_the_start_up(self):
        # Pelmora.txt at a byte a second, for ever: a failed fetch, too slow.
        self.server.rule("/tools/Pelmora.txt", endless=1, rate=1)
        process = self.start()
        self.expect_box("IDS_NO_INTERNET", IDOK)
        self.assertEqual(self.wine.wait_exit(process, 30), 0)
        self.assertIn("Pelmora.txt: too slow", self.log())

        # The splash closed while the start-up waits: Pelmora ends, and the next start runs.
        for how in ("close", "escape"):
            with self.subTest(how=how):
                self.log_path.unlink(missing_ok=True)
                process = self.start()
                splash = self.splash()
                if how == "close":
                    self.assertTrue(self.wine.close(splash))
                else:
                    self.assertTrue(self.wine.post(splash, WM_KEYDOWN, VK_ESCAPE))
                self.assertEqual(self.wine.wait_exit(process, 10), 0, self.log())
                self.assertIn("Splash closed: the start-up ends", self.log())
                self.assertNotIn("too slow", self.log())
        self.server.control("clear", path="/tools/Pelmora.txt")
        process = self.start()
        self.close_main(process, self.main_window())

    def test_quiet_mode_decides_by_the_programs_state(self):
        self.register("Quorin", "1.8.0")
        self.register("Halvex", "2.0.0")
        self.expect_closes_silently(self.start("Quorin"))  # up to date

        process = self.start("Halvex")                    # update: asked
        self.expect_box("IDS_PROGRAM_UPDATE_AVAILABLE", IDNO)
        self.assertEqual(self.wine.wait_exit(process, 30), 0)
        self.assertNotIn("list ready", self.log())

        process = self.start("Halvex")
        self.expect_box("IDS_PROGRAM_UPDATE_AVAILABLE", IDYES)
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd, "Yes goes on")
        self.close_main(process, hwnd)

        self.log_path.unlink()
        process = self.start("Nobody")  # not in the catalogue: a normal start without a splash
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        self.assertEqual(len(self.rows(hwnd)), 6)
        self.assertNotIn("Splash shown", self.log())
        self.close_main(process, hwnd)

    def test_first_run_opens_the_settings_before_the_list(self):
        self.wine.remove_settings()
        process = self.start()
        # The settings dialog is modal during start-up: the main window appears after it.
        settings_title = self.wine.string_text("strings_en.rc", "IDS_SETTING_TITLE")
        dialog = self.wine.wait_window(settings_title, 20000) if self.settings_dialog_exists() \
            else None
        if dialog:
            self.wine.screenshot("startup-first-run-settings")
            self.assertIsNone(self.main_window(500), "the list waits for the settings")
            self.wine.close(dialog)
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        log = self.log()
        self.assertLess(log.index("First run: settings dialog"), log.index("list ready"))
        self.close_main(process, hwnd)
        self.log_path.unlink()
        process = self.start()
        hwnd = self.main_window()
        if self.wine.tools_folder().joinpath("config.txt").exists():
            self.assertNotIn("First run", self.log())
        self.close_main(process, hwnd)

    def settings_dialog_exists(self):
        source = Path(self.wine.source_dir, "app", "settings_command_win.cpp").read_text("utf-8")
        return "CConfigDlg" in source


class LongCatalogue(PelmoraCase):
    tree_options = {"programs": 25}

    def test_twenty_five_program_lines_show_twenty(self):
        process = self.start()
        hwnd = self.main_window()
        rows = self.rows(hwnd)
        # The seven sample tools (one hidden), then "Tool 08" onwards up to the 20th line.
        self.assertEqual(len(rows), 19)
        self.assertEqual(rows[-1][0], "Tool 20")
        self.wine.screenshot("startup-long-catalogue")
        self.close_main(process, hwnd)

        self.register("Legacy Bridge", "0.7.4")
        process = self.start()
        hwnd = self.main_window()
        rows = self.rows(hwnd)
        self.assertEqual(len(rows), 20)
        self.assertEqual(rows[-1][0], "Tool 20", "lines after the 20th are never read")
        self.close_main(process, hwnd)


if __name__ == "__main__":
    unittest.main(verbosity=2)
