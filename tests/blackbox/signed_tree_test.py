"""A Pelmora built with the maker's key against signed server trees: it takes
only what the maker signed, and only a fresh catalogue."""
import os
import unittest
from pathlib import Path

from pelmora_case import START, PelmoraCase
from wine_harness import wait_until

IDYES, IDNO, IDOK = 6, 7, 1
KEY = Path(__file__).parent / "keys" / "test_maker.pem"
SIGNED = ["Pelmora.txt", "program_list.txt", "db_version.txt", "image_version.txt"]


class SignedTree(PelmoraCase):
    def setUp(self):
        super().setUp()
        self.wine.exe = os.environ["PELMORA_KEYED_EXE"]
        self.publish()

    def publish(self, serial=5, expires="2099-12-31", **options):
        self.server.write_tree(key=KEY, serial=serial, expires=expires,
                               pelmora_installer=os.environ["PELMORA_INSTALLER"], **options)
        self.tree = self.server.root / "tools"

    def kept_serial(self):
        path = self.wine.tools_folder() / "Pelmora" / "catalogue_serial.txt"
        return path.read_text().strip() if path.exists() else None

    def local_catalogue(self):
        path = self.wine.tools_folder() / "Pelmora" / "program_list.txt"
        return path.read_bytes() if path.exists() else None

    def flip_byte(self, name, offset=-3):
        path = self.tree / name
        data = bytearray(path.read_bytes())
        data[offset] ^= 0x01
        path.write_bytes(bytes(data))

    def expect_catalogue_refused(self, why):
        before = self.local_catalogue()
        self.log_path.unlink(missing_ok=True)  # this run's lines only
        process = self.start()
        self.expect_closes_silently(process)
        self.assertIn(f"[Pelmora]program_list.txt refused: {why}", self.log())
        self.assertEqual(self.local_catalogue(), before, "the refused file is not kept")

    def test_a_signed_tree_lists_its_tools_and_keeps_the_serial(self):
        process = self.start()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        self.assertEqual(len(self.rows(hwnd)), 6)
        requested = [r.split(" ")[1] for r in self.server.requests("/tools/")]
        for name in SIGNED:
            self.assertIn(f"/tools/{name}.sig", requested)
        self.assertEqual(self.kept_serial(), "5")
        self.assertEqual(self.local_catalogue(), (self.tree / "program_list.txt").read_bytes())
        self.assertNotIn("refused", self.log())
        self.close_main(process, hwnd)

        # The same serial again is fine; an older one is a replay.
        self.publish(serial=5)
        process = self.start()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        self.close_main(process, hwnd)
        self.publish(serial=4)
        self.expect_catalogue_refused("serial 4 is older than serial 5 accepted before")
        self.assertEqual(self.kept_serial(), "5")

    def test_a_tampered_catalogue_or_signature_is_a_failed_download(self):
        self.flip_byte("program_list.txt")
        self.expect_catalogue_refused("its signature is not the maker's")
        self.publish()
        self.flip_byte("program_list.txt.sig", offset=10)
        self.expect_catalogue_refused("its signature is not the maker's")
        self.assertIsNone(self.kept_serial())

    def test_an_expired_catalogue_is_refused(self):
        self.publish(expires="2020-01-01")
        self.expect_catalogue_refused("it expired on 2020-01-01")

    def test_missing_signatures_fail_each_file_as_its_own_download_would(self):
        # Without the stamps' signatures the start-up goes on without them.
        (self.tree / "db_version.txt.sig").unlink()
        (self.tree / "image_version.txt.sig").unlink()
        self.wine.write_db_stamp("an older stamp")
        process = self.start()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        self.assertEqual(self.message_boxes(), [], "no databases notice: their stamp was refused")
        log = self.log()
        for name in ("db_version.txt", "image_version.txt"):
            self.assertIn(f"[Pelmora]{name} refused: its signature could not be fetched", log)
        images = self.wine.tools_folder() / "Pelmora" / "image"
        self.assertEqual(list(images.iterdir()) if images.exists() else [], [],
                         "no pictures fetched")
        self.close_main(process, hwnd)

        # Without the self-version file's, the server counts as unreachable.
        (self.tree / "Pelmora.txt.sig").unlink()
        process = self.start()
        self.expect_box("IDS_NO_INTERNET", IDOK)
        self.assertEqual(self.wine.wait_exit(process, 30), 0)
        self.assertIn("[Pelmora]Pelmora.txt refused: its signature could not be fetched",
                      self.log())

    def test_pelmoras_installer_runs_only_when_it_matches_the_signed_digest(self):
        self.register("Pelmora", "1.3.1")
        setup = self.tree / "Pelmora" / "setup.exe"
        good = setup.read_bytes()
        setup.write_bytes(good + b"tampered")
        process = self.start()
        self.expect_box("IDS_SELF_UPDATE_FOUND", IDYES)
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd, "a mismatch is a failed installer download: start-up goes on")
        self.assertEqual(self.message_boxes(), [])
        self.assertIn("[Pelmora]Pelmora's installer could not be fetched", self.log())
        downloaded = self.wine.tools_folder() / "Pelmora/downloaded_program/Pelmora/setup.exe"
        self.assertFalse(downloaded.exists())
        self.close_main(process, hwnd)

        setup.write_bytes(good)
        process = self.start()
        self.expect_box("IDS_SELF_UPDATE_FOUND", IDYES)
        window = self.wine.wait_window("Pelmora 1.3.2 Setup: Installation Folder", 60000)
        self.assertIsNotNone(window, "the matching installer runs")
        self.assertEqual(self.wine.wait_exit(process, 30), 0)
        self.wine.close(window)
        self.assertTrue(self.wine.wait_gone(window, 20000))

    def test_a_tools_installer_without_a_signed_digest_is_not_fetched(self):
        # The tree has no installers, so its catalogue names no digests.
        package = self.tree / "packages" / "hq" / "Halvex"
        package.mkdir(parents=True, exist_ok=True)
        (package / "setup.exe").write_bytes(b"MZ from anybody")
        process = self.start()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        self.assertTrue(self.wine.check_row(self.list_hwnd(hwnd), 0))
        self.assertTrue(wait_until(lambda: self.wine.control(hwnd, START)["enabled"], 3))
        self.assertTrue(self.wine.click(hwnd, START))
        self.expect_box("IDS_DOWNLOAD_RETRY", IDNO)
        self.assertEqual(self.server.requests("/tools/packages/"), [])
        self.assertIn("[Pelmora]Package refused: the signed catalogue gives no digest", self.log())


class KeylessBuild(PelmoraCase):
    def test_a_build_without_a_key_ignores_signatures(self):
        process = self.start()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        self.assertEqual(len(self.rows(hwnd)), 6)
        self.assertFalse([r for r in self.server.requests("/tools/") if ".sig" in r])
        self.assertFalse((self.wine.tools_folder() / "Pelmora" / "catalogue_serial.txt").exists())
        self.close_main(process, hwnd)


if __name__ == "__main__":
    unittest.main()
