"""A black-box test case with the sample update server running and a Wine
prefix in a known state: English settings, Pelmora registered at 1.3.2, the
model databases current, nothing downloaded, no tool registered."""
import tempfile
import unittest
from pathlib import Path

from sample_server import SampleServer
from wine_harness import WineSession, wait_until

MAIN_TITLE = "Pelmora v1.3.2"
BOX_CLASS = "#32770"
DB_STAMP = "2026-12-01 model database"
LIST, PICTURE, START = 1007, 1033, 1004


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


class PelmoraCase(unittest.TestCase):
    tree_options = {}

    @classmethod
    def new_server(cls):
        return SampleServer(cls.__name__)

    @classmethod
    def setUpClass(cls):
        cls.server = cls.new_server().start()
        try:
            cls.server.write_tree(**cls.tree_options)
        except Exception:
            cls.server.stop()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def setUp(self):
        self.wine = WineSession()
        self.registered = set()
        self.folder = tempfile.TemporaryDirectory()
        self.log_path = Path(self.folder.name) / "pelmora.log"
        self.wine.forget_downloads()
        self.wine.write_settings("Language:English,Server:HQ")
        self.wine.write_db_stamp(DB_STAMP)
        self.register("Pelmora", "1.3.2")
        self.server.control("reset")

    def tearDown(self):
        self.wine.stop_all()
        for name in self.registered:
            self.wine.unregister(name)
        self.wine.remove_settings()
        self.wine.forget_downloads()
        self.folder.cleanup()

    def register(self, name, version):
        self.wine.register(name, version)
        self.registered.add(name)

    def unregister(self, name):
        self.wine.unregister(name)
        self.registered.discard(name)

    def start(self, *args, base_url=None, extra_env=None):
        env = {"PELMORA_BASE_URL": base_url or self.server.base_url,
               "PELMORA_LOG": windows_path(self.log_path)}
        env.update(extra_env or {})
        return self.wine.start_pelmora(*args, extra_env=env)

    def log(self):
        """The whole log: the part moved aside at the cap first."""
        parts = [self.log_path.with_suffix(".old.log"), self.log_path]
        return "".join(p.read_text("utf-8") for p in parts if p.exists())

    def main_window(self, ms=30000):
        return self.wine.wait_window(MAIN_TITLE, ms)

    def have_databases(self, tree):
        """The databases at the stamp, as the release in `tree` lists them: with
        the key a start compares them with the release even when the stamp is
        unchanged, and fetches (and announces) any that differ."""
        self.wine.write_db_stamp(DB_STAMP)
        for region in ("hq", "amr", "eur", "chna"):
            name = f"modelinfo_{region}.db"
            (self.wine.tools_folder() / name).write_bytes((tree / name).read_bytes())

    def pictures_complete(self, seconds=60):
        """The pictures, fetched beside the shown list, have all ended."""
        return wait_until(lambda: "Start-up: pictures complete" in self.log(), seconds)

    def message_box(self, ms=30000):
        return self.wine.wait_window("Pelmora", ms, BOX_CLASS)

    def box_text(self, box):
        return [c["text"] for c in self.wine.texts(box) if c["class"].lower() == "static"
                and c["text"]]

    def english(self, ids_name):
        return self.wine.string_text("strings_en.rc", ids_name)

    def message_boxes(self):
        return [w for w in self.wine.windows()
                if w["visible"] and w["class"] == BOX_CLASS and w["title"] == "Pelmora"]

    def expect_box(self, ids_name, answer):
        """The next message box says `ids_name`; answers it with button id `answer`."""
        box = self.message_box()
        self.assertIsNotNone(box, f"a message box saying {ids_name}")
        self.assertIn(self.english(ids_name), self.box_text(box))
        return box, self.wine.click(box, answer)

    def expect_closes_silently(self, process, seconds=40):
        self.assertEqual(self.wine.wait_exit(process, seconds), 0, "Pelmora ends by itself")
        self.assertEqual(self.message_boxes(), [])
        self.assertNotIn("list ready", self.log())

    def close_main(self, process, hwnd):
        self.assertTrue(self.wine.close(hwnd))
        self.assertEqual(self.wine.wait_exit(process, 30), 0, "Pelmora ends when closed")

    def list_hwnd(self, hwnd):
        return self.wine.control(hwnd, LIST)["hwnd"]

    def rows(self, hwnd):
        """Program name and status of each row."""
        return [(row["texts"][1], row["texts"][2])
                for row in self.wine.list_cells(self.list_hwnd(hwnd))]
