"""The NSIS installers: Pelmora's own and a sample tool's install silently
with /S, register their uninstall keys in the 64-bit view, and uninstall;
Pelmora's own installs again where it was installed. What the build ships
carries its signature."""
import os
import re
import subprocess
import unittest
from pathlib import Path

from wine_harness import WineSession

PROGRAM_FILES = ("drive_c", "Program Files", "Korvath")


class Installers(unittest.TestCase):
    def setUp(self):
        self.wine = WineSession()

    def tearDown(self):
        self.wine.stop_all()
        for name in ("Pelmora", "Halvex"):
            self.wine.unregister(name)

    def windows_path(self, path):
        return "Z:" + str(path).replace("/", "\\")

    def install_and_uninstall(self, setup, name, executable, version):
        folder = self.wine.prefix.joinpath(*PROGRAM_FILES, name)
        code, out = self.wine.driver("run", "60000", self.windows_path(setup), "setup.exe /S",
                                     timeout=120)
        self.assertEqual((code, out.strip()), (0, "0"))
        self.assertEqual(self.wine.registered_version(name), version)
        self.assertTrue((folder / executable).exists())
        self.assertTrue((folder / "uninstall.exe").exists())

        uninstaller = f"C:\\Program Files\\Korvath\\{name}\\uninstall.exe"
        code, out = self.wine.driver("run", "60000", uninstaller,
                                     f"uninstall.exe /S _?=C:\\Program Files\\Korvath\\{name}",
                                     timeout=120)
        self.assertEqual((code, out.strip()), (0, "0"))
        self.assertIsNone(self.wine.registered_version(name))
        self.assertFalse((folder / executable).exists())
        return folder

    def test_what_the_build_ships_is_signed(self):
        installer = Path(os.environ["PELMORA_INSTALLER"])
        publisher = Path(os.environ["PELMORA_TEST_PUBLISHER"]) / "publisher.pem"
        for shipped in (os.environ["PELMORA_EXE"], installer, installer.with_name("Pelmora.msi")):
            verified = subprocess.run(["osslsigncode", "verify", "-in", str(shipped),
                                       "-CAfile", str(publisher)],
                                      capture_output=True, text=True, timeout=120)
            self.assertIn("Succeeded", verified.stdout, f"{shipped}: {verified.stderr}")

    def test_pelmoras_installer(self):
        self.install_and_uninstall(os.environ["PELMORA_INSTALLER"], "Pelmora", "Pelmora.exe",
                                   "1.3.2")

    def key_value(self, value):
        _, out = self.wine.run_wine("reg", "query", self.wine.UNINSTALL + "\\Pelmora", "/v", value,
                                    "/reg:64")
        match = re.search(rb"REG_SZ\s+(.*?)\r?$", out, re.M)
        return match.group(1).decode() if match else None

    def test_an_update_installs_where_pelmora_was_installed(self):
        setup, chosen = self.windows_path(os.environ["PELMORA_INSTALLER"]), "C:\\Apps\\Pelmora"
        folder = self.wine.prefix / "drive_c" / "Apps" / "Pelmora"
        self.assertEqual(self.wine.run_wine(setup, "/S", f"/D={chosen}", timeout=120)[0], 0)
        self.assertEqual(self.key_value("InstallLocation"), chosen)
        # Quoted: a path with blanks is not read as a program and its arguments.
        self.assertEqual(self.key_value("UninstallString"), f'"{chosen}\\uninstall.exe"')
        (folder / "Pelmora.exe").unlink()
        self.assertEqual(self.wine.run_wine(setup, "/S", timeout=120)[0], 0)  # as its own update
        self.assertTrue((folder / "Pelmora.exe").exists())
        default = self.wine.prefix.joinpath(*PROGRAM_FILES, "Pelmora", "Pelmora.exe")
        self.assertFalse(default.exists())
        self.assertEqual(self.wine.run_wine(f"{chosen}\\uninstall.exe", "/S", f"_?={chosen}",
                                            timeout=120)[0], 0)
        self.assertFalse((folder / "Pelmora.exe").exists())

    def test_a_sample_tools_installer(self):
        import subprocess
        import sys
        import tempfile
        with tempfile.TemporaryDirectory() as out:
            subprocess.run([sys.executable, str(self.wine.source_dir /
                                                "tools/sample-server/make_sample_tree.py"),
                            out, "http://127.0.0.1:1/tools/", "--programs", "1",
                            "--tool-exe", os.environ["PELMORA_SAMPLE_TOOL"]],
                           check=True, stdout=subprocess.DEVNULL, timeout=300)
            setup = os.path.join(out, "tools", "packages", "eur", "Halvex", "2.4.1",
                                 "setup_light.exe")
            self.install_and_uninstall(setup, "Halvex", "Halvexer.exe", "2.4.1")


if __name__ == "__main__":
    unittest.main(verbosity=2)
