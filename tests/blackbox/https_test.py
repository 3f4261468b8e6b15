"""Pelmora over HTTPS with the system's certificate checks: the sample tree
served by the test server speaking TLS, with a test CA that only the test
Wine prefix trusts.

Measured under Wine 8: crypt32 reads the machine's Root store from the keys
below Root\\Certificates, and its name check ignores IP addresses in the
subject alternative name, so the servers are reached as "localhost"."""
import hashlib
import os
import shutil
import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

from pelmora_case import START, PelmoraCase
from sample_server import SampleServer
from wine_harness import WineSession, wait_until

IDOK = 1
INSTALL = 2024  # row 0's install button, inside the list
ROOT_CERTIFICATES = r"HKLM\Software\Microsoft\SystemCertificates\Root\Certificates"
# Servers whose certificate must be refused, and what WinINet names the reason.
# A chain that stops short of any root, Wine 8 reports as a failed revocation
# check (it looks for revocation data first); Windows, as an unknown CA.
REFUSED = {"untrusted": ["ERROR_INTERNET_INVALID_CA 12045"],
           "leaf-only": ["ERROR_INTERNET_INVALID_CA 12045",
                              "ERROR_INTERNET_SEC_CERT_REV_FAILED 12057"],
           "wrong-name": ["ERROR_INTERNET_SEC_CERT_CN_INVALID 12038"],
           "expired": ["ERROR_INTERNET_SEC_CERT_DATE_INVALID 12037"]}


def trust_root(wine, der):
    """Trusts a CA in the test prefix only; returns the registry key to delete.
    The Blob is one serialized property: the certificate itself
    (CERT_CERT_PROP_ID 32, X509_ASN_ENCODING 1)."""
    key = ROOT_CERTIFICATES + "\\" + hashlib.sha1(der).hexdigest().upper()
    blob = struct.pack("<III", 32, 1, len(der)) + der
    code, _ = wine.run_wine("reg", "add", key, "/v", "Blob", "/t", "REG_BINARY", "/d", blob.hex(),
                            "/f")
    if code != 0:
        raise RuntimeError("the test CA could not be trusted")
    return key


class Https(PelmoraCase):
    tree_options = {"installers": True}

    @classmethod
    def pem(cls, label):
        return cls.pki / f"{label}.pem", cls.pki / f"{label}.key"

    @classmethod
    def new_server(cls):
        return SampleServer(cls.__name__, tls=cls.pem("trusted"), host="localhost")

    @classmethod
    def setUpClass(cls):
        folder = tempfile.TemporaryDirectory()
        cls.addClassCleanup(folder.cleanup)
        cls.pki = Path(folder.name)
        script = Path(os.environ["PELMORA_SOURCE_DIR"], "tests/support/make_test_pki.py")
        subprocess.run(["/usr/bin/python3", str(script), str(cls.pki)], check=True, timeout=120)
        wine = WineSession()
        key = trust_root(wine, (cls.pki / "ca.der").read_bytes())
        cls.addClassCleanup(wine.run_wine, "reg", "delete", key, "/f")
        super().setUpClass()
        cls.impostors = {}
        for label in REFUSED:
            impostor = SampleServer(f"{cls.__name__}-{label}", tls=cls.pem(label), host="localhost")
            # The very same tree: a client that skipped a check would find every file.
            impostor.state.mkdir(parents=True, exist_ok=True)
            if not impostor.root.is_symlink():
                shutil.rmtree(impostor.root, ignore_errors=True)
                impostor.root.symlink_to(cls.server.root, target_is_directory=True)
            cls.impostors[label] = impostor.start()
            cls.addClassCleanup(impostor.stop)

    def files(self):
        top = self.wine.tools_folder()
        return sorted(str(p.relative_to(top)) for p in top.rglob("*") if p.is_file())

    def test_a_trusted_certificate_gives_the_list_its_pictures_and_an_installer(self):
        self.register("Halvex", "2.4.0")
        process = self.start()
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd)
        rows = self.rows(hwnd)
        self.assertEqual(len(rows), 6)
        self.assertEqual(rows[0], ("Halvex", "Update"))
        self.assertNotIn("Certificate refused", self.log())
        # The catalogue's picture locations are https URLs too.
        images = self.wine.tools_folder() / "Pelmora" / "image"
        for name, _ in rows:
            self.assertEqual(len(list((images / name).iterdir())), 5, name)

        list_hwnd = self.list_hwnd(hwnd)
        self.assertTrue(self.wine.check_row(list_hwnd, 0))
        self.assertTrue(wait_until(lambda: self.wine.control(hwnd, START)["enabled"], 5))
        self.assertTrue(self.wine.click(hwnd, START))
        self.assertTrue(wait_until(
            lambda: (self.wine.control(list_hwnd, INSTALL) or {}).get("visible"), 60),
            "the installer arrives over https")
        installer = (self.wine.work_folder() / "downloaded_program" / "Halvex" /
                     "setup_light.exe")
        self.assertEqual(installer.read_bytes(),
                         (self.server.root /
                          "tools/packages/hq/Halvex/2.4.1/setup_light.exe").read_bytes())
        self.close_main(process, hwnd)

    def test_a_refused_certificate_is_a_failed_download(self):
        for label, errors in REFUSED.items():
            with self.subTest(certificate=label):
                self.wine.stop_all()  # what a failed case before left running
                impostor = self.impostors[label]
                impostor.control("reset")
                if self.log_path.exists():
                    self.log_path.unlink()
                before = self.files()
                process = self.start(base_url=impostor.base_url)
                self.expect_box("IDS_NO_INTERNET", IDOK)
                self.assertEqual(self.wine.wait_exit(process, 30), 0)
                log = self.log()
                self.assertTrue(any(f"[Pelmora]Certificate refused ({error}): "
                                    f"{impostor.base_url}Pelmora.txt" in log for error in errors),
                                log)
                self.assertIn("[Pelmora]DownloadToFile, Pelmora.txt Failed!!", log)
                self.assertEqual(impostor.requests(), [], "no request crossed the channel")
                self.assertEqual(self.files(), before, "nothing was written from that server")


if __name__ == "__main__":
    unittest.main(verbosity=2)
