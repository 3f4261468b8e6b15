"""A Pelmora built with the maker's key against published trees: it fetches
the signed release manifest first and takes every other file only as the
manifest lists it; a replayed, altered, transplanted or endless file changes
nothing local."""
import os
import subprocess
import unittest
from pathlib import Path

from pelmora_case import DB_STAMP, START, PelmoraCase
from wine_harness import wait_until

IDYES, IDNO, IDOK = 6, 7, 1
VIEW_BASE = 3024
KEY = Path(__file__).parent / "keys" / "test_maker.pem"
PUBLISHER = Path(__file__).resolve().parents[2] / "tools" / "publisher"


class SignedTree(PelmoraCase):
    def setUp(self):
        super().setUp()
        self.wine.exe = os.environ["PELMORA_KEYED_EXE"]
        self.publish()
        self.have_databases(self.tree)

    def tearDown(self):
        for window in self.wine.windows():
            if "ReleaseNote" in window["title"]:
                self.wine.close(window["hwnd"])
        super().tearDown()

    def publish(self, serial=5, expires="2099-12-31", one_file=False, **options):
        """Without `one_file`, served as an earlier publisher did: the manifest
        and its signature as a pair, which these cases tamper with."""
        self.server.write_tree(key=KEY, serial=serial, expires=expires,
                               pelmora_installer=os.environ["PELMORA_INSTALLER"], **options)
        self.tree = self.server.root / "tools"
        if not one_file:
            (self.tree / "release.signed").unlink()

    def resign_without(self, *names):
        """The manifest without the entries of `names`, signed again by the maker."""
        manifest = self.tree / "release.txt"
        lines = manifest.read_text().split("\n")
        manifest.write_text("\n".join(x for x in lines if x.split(" ", 2)[-1] not in names))
        subprocess.run(["/usr/bin/python3", "-c",
                        "import sys, publish; from pathlib import Path; "
                        "Path(sys.argv[2]).write_bytes(publish.sign(publish.load_private_key("
                        "sys.argv[1]), Path(sys.argv[3]).read_bytes()))",
                        str(KEY), str(manifest) + ".sig", str(manifest)],
                       check=True, cwd=PUBLISHER, timeout=60)

    def kept_serial(self):
        path = self.wine.work_folder() / "catalogue_serial.txt"
        return path.read_text().strip() if path.exists() else None

    def local(self, relative):
        path = self.wine.tools_folder() / relative
        return path.read_bytes() if path.exists() else None

    def flip_byte(self, name, offset=-3):
        path = self.tree / name
        data = bytearray(path.read_bytes())
        data[offset] ^= 0x01
        path.write_bytes(bytes(data))

    def requested(self):
        return [r.split(" ")[1] for r in self.server.requests("/tools/")]

    def start_fresh(self, rules=None):
        """Pelmora started with this run's log lines and requests only; `rules`:
        the server's, per path."""
        self.log_path.unlink(missing_ok=True)
        self.server.control("reset")
        for path, rule in (rules or {}).items():
            self.server.rule(path, **rule)
        return self.start()

    def expect_no_internet(self, why):
        process = self.start_fresh()
        self.expect_box("IDS_NO_INTERNET", IDOK)
        self.assertEqual(self.wine.wait_exit(process, 30), 0)
        self.assertIn(why, self.log())
        self.assertFalse(self.wine.wait_window("Pelmora v1.3.2", 500))

    def test_a_valid_release_and_a_file_it_does_not_list(self):
        self.publish(one_file=True)
        process = self.start_fresh()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        self.assertEqual(len(self.rows(hwnd)), 6)
        self.assertTrue(self.pictures_complete())
        requested = self.requested()
        # The signed manifest comes first, together with the start-up files.
        self.assertEqual(sorted(requested[:5]), [
            "/tools/Pelmora.txt", "/tools/db_version.txt", "/tools/image_version.txt",
            "/tools/program_list.txt", "/tools/release.signed"])
        self.assertFalse([r for r in requested if "release.txt" in r])
        print(f"\nfiles fetched by a first keyed start: {len(requested)}")
        self.assertEqual(self.kept_serial(), "5")
        self.assertEqual(self.local("Pelmora/program_list.txt"),
                         (self.tree / "program_list.txt").read_bytes())
        self.assertEqual(self.local("Pelmora/image/Halvex/kr.bmp"),
                         (self.tree / "images/Halvex/kr.bmp").read_bytes())
        self.assertNotIn("refused", self.log())
        self.close_main(process, hwnd)

        # A picture the manifest does not list is never asked for (from a server
        # without release.signed: the pair).
        self.wine.forget_downloads()
        self.have_databases(self.tree)
        (self.tree / "release.signed").unlink()
        self.resign_without("images/Halvex/kr.bmp")
        process = self.start_fresh()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd, self.log())
        self.assertTrue(self.pictures_complete())
        requested = self.requested()
        self.assertNotIn("/tools/images/Halvex/kr.bmp", requested)
        self.assertIn("/tools/images/Halvex/en.bmp", requested)
        self.assertIn("[Pelmora]images/Halvex/kr.bmp refused: the release manifest does not list "
                      "it; not requested", self.log())
        self.assertIsNone(self.local("Pelmora/image/Halvex/kr.bmp"))
        self.close_main(process, hwnd)

    def test_zeros_behind_an_unchanged_stamp_are_fetched_again(self):
        process = self.start_fresh()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        self.assertTrue(self.pictures_complete())
        self.assertFalse([r for r in self.requested() if r.endswith(".db")])
        self.close_main(process, hwnd)
        # A crash left zeros where the last bytes were to be written.
        for name in ("modelinfo_eur.db", "Pelmora/image/Halvex/en.bmp"):
            path = self.wine.tools_folder() / name
            path.write_bytes(bytes(path.stat().st_size))
        process = self.start_fresh()
        self.expect_box("IDS_DB_UPDATED", IDOK)
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        self.assertTrue(self.pictures_complete())
        requested = self.requested()
        self.assertEqual(sorted(r for r in requested if r.endswith(".db")),
                         [f"/tools/modelinfo_{r}.db" for r in ("amr", "chna", "eur", "hq")])
        self.assertEqual([r for r in requested if r.endswith(".bmp")],
                         ["/tools/images/Halvex/en.bmp"])
        for name, served in (("modelinfo_eur.db", "modelinfo_eur.db"),
                             ("Pelmora/image/Halvex/en.bmp", "images/Halvex/en.bmp")):
            self.assertEqual(self.local(name), (self.tree / served).read_bytes())
            self.assertIn("[Pelmora]Local file is not as the release lists it (its SHA-256 is "
                          "not the release's), fetched again: ", self.log())
            self.assertIn(name.replace("/", "\\"), self.log())
        self.assertEqual(self.local("db_version.txt"), DB_STAMP.encode() + b"\r\n")
        self.close_main(process, hwnd)

    def test_replayed_transplanted_and_expired_releases_offer_nothing(self):
        self.publish(serial=5, self_version="1.3.1")
        old_self = (self.tree / "Pelmora.txt").read_bytes()
        self.publish(serial=6)
        process = self.start_fresh()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd, "1.3.2 is current: no question")
        self.close_main(process, hwnd)
        self.assertEqual(self.kept_serial(), "6")

        # The older release whole (manifest, Pelmora.txt, installer): a replay.
        self.publish(serial=5, self_version="1.3.1")
        self.expect_no_internet("[Pelmora]release.txt refused: serial 5 is older than serial 6 "
                                "accepted before")
        # The current manifest with the older Pelmora.txt in its place.
        self.publish(serial=6)
        (self.tree / "Pelmora.txt").write_bytes(old_self)
        self.expect_no_internet("[Pelmora]Pelmora.txt refused: its bytes are not those the "
                                "release manifest lists")
        self.publish(serial=7, expires="2020-01-01")
        self.expect_no_internet("[Pelmora]release.txt refused: it expired on 2020-01-01")
        self.publish(serial=7)
        self.flip_byte("release.txt.sig", offset=10)
        kept = {name: self.local("Pelmora/" + name) for name in ("Pelmora.txt", "program_list.txt")}
        self.expect_no_internet("[Pelmora]release.txt refused: its signature is not the maker's")
        self.assertEqual(self.kept_serial(), "6")
        # The start-up files came beside the manifest; none of them was taken.
        for name in ("Pelmora.txt", "program_list.txt", "db_version.txt", "image_version.txt"):
            self.assertIn("/tools/" + name, self.requested())
        for name, before in kept.items():
            self.assertEqual(self.local("Pelmora/" + name), before, name)
        self.assertNotEqual(kept["program_list.txt"], (self.tree / "program_list.txt").read_bytes())
        self.assertFalse([f for f in self.wine.tools_folder().rglob("*.part-*")])
        self.assertIsNone(self.local(self.wine.work_folder() / "downloaded_program/Pelmora/setup.exe"))

    def test_altered_and_transplanted_files_change_nothing_local(self):
        # The databases of an older stamp are here; the release brings new ones,
        # one of them altered, and db_version.txt is served as image_version.txt.
        self.wine.write_db_stamp("an older stamp")
        for region in ("hq", "amr", "eur", "chna"):
            path = self.wine.tools_folder() / f"modelinfo_{region}.db"
            path.write_bytes(b"old " + region.encode())
        self.flip_byte("modelinfo_amr.db")
        (self.tree / "image_version.txt").write_bytes((self.tree / "db_version.txt").read_bytes())
        process = self.start_fresh()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        self.assertEqual(self.message_boxes(), [], "no databases notice")
        self.assertTrue(self.pictures_complete())
        log = self.log()
        self.assertIn("[Pelmora]modelinfo_amr.db refused: its bytes are not those the release "
                      "manifest lists", log)
        self.assertIn("[Pelmora]image_version.txt refused: its bytes are not those", log)
        for region in ("hq", "amr", "eur", "chna"):
            self.assertEqual(self.local(f"modelinfo_{region}.db"), b"old " + region.encode())
        self.assertEqual(self.local("db_version.txt"), b"an older stamp\r\n")
        self.assertFalse([f for f in (self.wine.tools_folder()).rglob("*.server")])
        self.assertIsNone(self.local("Pelmora/image_version.txt"))
        self.close_main(process, hwnd)

        # An old stamp, an altered picture, an endless picture, an altered release note.
        self.publish()
        self.wine.forget_downloads()
        self.wine.write_db_stamp(DB_STAMP)
        (self.tree / "db_version.txt").write_bytes(b"2026-11-01 older model database\r\n")
        self.flip_byte("images/Halvex/en.bmp")
        self.flip_byte("packages/hq/Halvex/2.4.1/ReleaseNote.txt", offset=0)
        process = self.start_fresh({"/tools/images/Quorin/kr.bmp": {"endless": 1}})
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        self.assertTrue(self.pictures_complete())
        log = self.log()
        self.assertIn("[Pelmora]db_version.txt refused: its body is larger than", log)
        self.assertFalse([r for r in self.requested() if r.endswith(".db")])
        self.assertEqual(self.local("db_version.txt"), DB_STAMP.encode() + b"\r\n")
        self.assertIn("[Pelmora]images/Halvex/en.bmp refused: its bytes are not those", log)
        self.assertIn("[Pelmora]images/Quorin/kr.bmp refused: its body is larger than the release "
                      "manifest's size", log)
        self.assertIsNone(self.local("Pelmora/image/Halvex/en.bmp"))
        self.assertIsNone(self.local("Pelmora/image/Quorin/kr.bmp"))
        self.assertEqual(self.local("Pelmora/image/Halvex/kr.bmp"),
                         (self.tree / "images/Halvex/kr.bmp").read_bytes())
        stamps = self.local("Pelmora/image_version.txt").split(b"\r\n")
        self.assertEqual([s.endswith(b" (incomplete)") for s in stamps[:3]], [True, True, False],
                         "Halvex and Quorin are fetched again next time, Pindral is complete")

        self.assertTrue(self.wine.click(self.list_hwnd(hwnd), VIEW_BASE + 0))
        self.expect_box("IDS_DOWNLOAD_FAILED", IDOK)
        self.assertIn("[Pelmora]packages/hq/Halvex/2.4.1/ReleaseNote.txt refused: its bytes are "
                      "not those", self.log())
        self.assertIsNone(self.local("HalvexReleaseNote.txt"))
        self.close_main(process, hwnd)

    def test_pelmoras_installer_runs_only_as_the_release_lists_it(self):
        self.register("Pelmora", "1.3.1")
        setup = self.tree / "Pelmora" / "setup.exe"
        good = setup.read_bytes()
        setup.write_bytes(good + b"tampered")
        process = self.start_fresh()
        self.expect_box("IDS_SELF_UPDATE_FOUND", IDYES)
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd, "a mismatch is a failed installer download: start-up goes on")
        self.assertEqual(self.message_boxes(), [])
        self.assertIn("[Pelmora]Pelmora/setup.exe refused: its body is larger than", self.log())
        self.assertIsNone(self.local(self.wine.work_folder() / "downloaded_program/Pelmora/setup.exe"))
        self.close_main(process, hwnd)

        setup.write_bytes(good)
        process = self.start_fresh()
        self.expect_box("IDS_SELF_UPDATE_FOUND", IDYES)
        window = self.wine.wait_window("Pelmora 1.3.2 Setup: Installation Folder", 60000)
        self.assertIsNotNone(window, "the matching installer runs")
        self.assertEqual(self.wine.wait_exit(process, 30), 0)
        self.wine.close(window)
        self.assertTrue(self.wine.wait_gone(window, 20000))

    def test_a_tools_installer_the_release_does_not_list_is_not_fetched(self):
        # The tree has no installers, so its manifest lists none.
        package = self.tree / "packages" / "hq" / "Halvex" / "2.4.1"
        package.mkdir(parents=True, exist_ok=True)
        (package / "setup.exe").write_bytes(b"MZ from anybody")
        process = self.start_fresh()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        self.assertTrue(self.wine.check_row(self.list_hwnd(hwnd), 0))
        self.assertTrue(wait_until(lambda: self.wine.control(hwnd, START)["enabled"], 3))
        self.assertTrue(self.wine.click(hwnd, START))
        self.expect_box("IDS_DOWNLOAD_RETRY", IDNO)
        self.assertEqual(self.server.requests("/tools/packages/"), [])
        self.assertIn("[Pelmora]packages/hq/Halvex/2.4.1/setup.exe refused: the release "
                      "manifest does not list it", self.log())


class KeylessBuild(PelmoraCase):
    tree_options = {"key": KEY, "serial": 5, "expires": "2099-12-31"}

    def test_a_build_without_a_key_ignores_the_manifest_and_reads_versions_strictly(self):
        process = self.start()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        self.assertEqual(len(self.rows(hwnd)), 6)
        requested = self.server.requests("/tools/")
        self.assertFalse([r for r in requested if "release.txt" in r or ".sig" in r])
        print(f"\nfiles fetched by a first start without a key: {len(requested)}")
        self.assertFalse((self.wine.work_folder() / "catalogue_serial.txt").exists())
        self.close_main(process, hwnd)

        # A self-version file without a readable version offers nothing.
        self_file = self.server.root / "tools" / "Pelmora.txt"
        self_file.write_bytes(b"Pelmora 1.3.2 build\r\n")
        process = self.start()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd, "no update question comes first")
        self.assertEqual(self.message_boxes(), [])
        self.assertIn("[Pelmora]Pelmora.txt names no readable version", self.log())
        self.close_main(process, hwnd)


if __name__ == "__main__":
    unittest.main()
