"""Pelmora behind the system's proxy: Debian's squid on loopback with a
configuration of its own, set as the test prefix's proxy, without and with
Basic authentication, for HTTP and for HTTPS (CONNECT). Squid's access log
shows what went through it."""
import os
import urllib.parse
import socket
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

from https_test import trust_root
from pelmora_case import PelmoraCase
from sample_server import SampleServer
from wine_harness import WineSession, wait_until

IDOK, IDCANCEL = 1, 2
KEY = Path(__file__).parent / "keys" / "test_maker.pem"
INTERNET_SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
USER, PASSWORD = "pelmora-user", "s3cret pass"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Squid:
    """squid -N on a loopback port; with `basic` it wants USER/PASSWORD, and
    with `ntlm` it offers NTLM first (squid's fake helper, no domain needed).
    `settings` replace the cache's (none); `port_options` follow http_port."""

    def __init__(self, basic, ntlm=False, settings=("cache deny all",), port_options=""):
        self.folder = Path(tempfile.mkdtemp(prefix="pelmora-squid-"))
        os.chmod(self.folder, 0o777)  # squid started as root writes its log as "proxy"
        self.port = free_port()
        self.access_log = self.folder / "access.log"
        auth = []
        if basic:
            passwords = self.folder / "passwords"
            subprocess.run(["htpasswd", "-b", "-c", str(passwords), USER, PASSWORD], check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.chmod(passwords, 0o644)
            # A connection per request: Wine 8 answers a CONNECT's 407 on
            # the same connection without a new CONNECT (squid: 400); Windows
            # does not, and neither does Wine on a fresh connection.
            ntlm_auth = ["auth_param ntlm program /usr/lib/squid/ntlm_fake_auth",
                         "auth_param ntlm children 1"] if ntlm else []
            auth = ["client_persistent_connections off", *ntlm_auth,
                    f"auth_param basic program /usr/lib/squid/basic_ncsa_auth {passwords}",
                    "auth_param basic realm Pelmora test proxy",
                    "acl known proxy_auth REQUIRED", "http_access deny !known"]
        (self.folder / "squid.conf").write_text("\n".join([
            f"http_port 127.0.0.1:{self.port}{port_options}",
            f"pid_filename {self.folder}/squid.pid",
            f"access_log stdio:{self.access_log}", f"cache_log {self.folder}/cache.log",
            f"coredump_dir {self.folder}", *settings, "shutdown_lifetime 0 seconds",
            "visible_hostname pelmora-test", *auth, "http_access allow all", ""]))
        self.process = None

    def start(self):
        self.process = subprocess.Popen(["squid", "-N", "-f", str(self.folder / "squid.conf")],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        def listening():
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return True
            except OSError:
                return False
        if not wait_until(listening, 30):
            self.stop()
            raise RuntimeError("squid did not start: " + self.cache_log())
        return self

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(10)

    def cache_log(self):
        path = self.folder / "cache.log"
        return path.read_text("utf-8", "replace") if path.exists() else ""

    def requests(self):
        """(result code/status, method, URL, user) per request; squid writes on a timer."""
        time.sleep(1)
        rows = []
        if self.access_log.exists():
            for line in self.access_log.read_text("utf-8", "replace").splitlines():
                fields = line.split()
                if len(fields) >= 8:
                    rows.append((fields[3], fields[5], fields[6], fields[7]))
        return rows


class Proxy(PelmoraCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # The same sample tree over HTTPS, as https_test serves it.
        folder = tempfile.TemporaryDirectory()
        cls.addClassCleanup(folder.cleanup)
        pki = Path(folder.name)
        script = Path(os.environ["PELMORA_SOURCE_DIR"], "tests/support/make_test_pki.py")
        subprocess.run(["/usr/bin/python3", str(script), str(pki)], check=True, timeout=120)
        key = trust_root(WineSession(), (pki / "ca.der").read_bytes())
        cls.addClassCleanup(WineSession().run_wine, "reg", "delete", key, "/f")
        cls.tls = SampleServer(cls.__name__ + "-tls", host="localhost",
                               tls=(pki / "trusted.pem", pki / "trusted.key")).start()
        cls.addClassCleanup(cls.tls.stop)
        cls.tls.write_tree()

    def use_proxy(self, basic, ntlm=False):
        squid = Squid(basic, ntlm).start()
        self.addCleanup(squid.stop)
        self.wine.run_wine("reg", "add", INTERNET_SETTINGS, "/v", "ProxyEnable", "/t",
                           "REG_DWORD", "/d", "1", "/f")
        self.wine.run_wine("reg", "add", INTERNET_SETTINGS, "/v", "ProxyServer", "/d",
                           f"127.0.0.1:{squid.port}", "/f")
        self.addCleanup(self.wine.run_wine, "reg", "delete", INTERNET_SETTINGS, "/v",
                        "ProxyServer", "/f")
        self.addCleanup(self.wine.run_wine, "reg", "delete", INTERNET_SETTINGS, "/v",
                        "ProxyEnable", "/f")
        return squid

    def reaches_the_list(self, process):
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd, self.log())
        self.assertEqual(len(self.rows(hwnd)), 6)
        self.close_main(process, hwnd)

    def proxy_prompt(self):
        """The system's credential prompt, and its edit fields."""
        found = None
        def shown():
            nonlocal found
            for window in self.wine.windows():
                if (window["visible"] and window["class"] == "#32770"
                        and window["title"] != "Pelmora"):
                    edits = [c["id"] for c in self.wine.controls(window["hwnd"])
                             if c["class"].lower() == "edit" and c["visible"]]
                    if edits:
                        found = window["hwnd"], edits
                        return True
            return False
        self.assertTrue(wait_until(shown, 30, step=0.5), "a credential prompt: " + self.log())
        return found

    def test_a_plain_proxy_carries_http_and_https(self):
        squid = self.use_proxy(basic=False)
        self.reaches_the_list(self.start())
        self.reaches_the_list(self.start(base_url=self.tls.base_url))
        seen = squid.requests()
        self.assertIn(("TCP_MISS/200", "GET",
                       f"http://127.0.0.1:{self.server.port}/tools/program_list.txt", "-"),
                      seen)
        self.assertIn(f"localhost:{self.tls.port}",
                      [url for _, method, url, _ in seen if method == "CONNECT"])
        self.assertNotIn("Proxy authentication", self.log())

    def test_basic_authentication_asks_once_and_cancel_is_a_failed_download(self):
        squid = self.use_proxy(basic=True)
        # Quiet mode never asks: it ends, and the log says why.
        self.expect_closes_silently(self.start("Halvex"))
        self.assertIn("[Pelmora]Proxy authentication required (407): no credentials", self.log())
        # Nor does a switch line: it ends with code 4 and the reason.
        self.assertEqual(self.wine.wait_exit(self.start("/check"), 120), 4, self.log())
        self.assertIn("could not be reached or its release was refused", self.log())

        # Cancel: the first fetch failed, with its usual message.
        process = self.start()
        prompt, _ = self.proxy_prompt()
        self.assertTrue(self.wine.click(prompt, IDCANCEL))
        self.expect_box("IDS_NO_INTERNET", IDOK)
        self.assertEqual(self.wine.wait_exit(process, 30), 0)
        self.assertIn("Proxy prompt cancelled", self.log())

        # Credentials entered once carry the whole run, over HTTP and HTTPS.
        for base_url in (self.server.base_url, self.tls.base_url):
            with self.subTest(base_url=base_url):
                self.log_path.unlink(missing_ok=True)
                process = self.start(base_url=base_url)
                prompt, edits = self.proxy_prompt()
                self.assertEqual(len(edits), 2, self.wine.controls(prompt))
                self.assertTrue(self.wine.set_text(prompt, edits[0], USER))
                self.assertTrue(self.wine.set_text(prompt, edits[1], PASSWORD))
                self.wine.screenshot("proxy-prompt")
                self.assertTrue(self.wine.click(prompt, IDOK))
                self.reaches_the_list(process)
                self.assertEqual(self.log().count("Proxy asks for credentials: prompt shown"), 1)
        seen = squid.requests()
        self.assertIn("TCP_DENIED/407", [result for result, *_ in seen])
        # Every file of the start-up went through with the user's name.
        base = f"http://127.0.0.1:{self.server.port}/tools/"
        passed = [url[len(base):] for result, _, url, user in seen
                  if user == USER and result == "TCP_MISS/200" and url.startswith(base)]
        for name in ("Pelmora.txt", "program_list.txt", "db_version.txt", "image_version.txt"):
            self.assertIn(name, passed)
        tunnels = [url for _, method, url, user in seen if method == "CONNECT" and user == USER]
        self.assertIn(f"localhost:{self.tls.port}", tunnels)

    def test_ntlm_offered_beside_basic_is_tried_first(self):
        squid = self.use_proxy(basic=True, ntlm=True)
        process = self.start()
        prompt, edits = self.proxy_prompt()
        self.assertTrue(self.wine.set_text(prompt, edits[0], USER))
        self.assertTrue(self.wine.set_text(prompt, edits[1], PASSWORD))
        self.assertTrue(self.wine.click(prompt, IDOK))
        self.reaches_the_list(process)
        # Wine has no NTLM of its own (no winbind): the logged-on user is refused, then Basic.
        log = self.log()
        integrated = log.find("Proxy offers Negotiate or NTLM: answered with the logged-on user")
        self.assertGreaterEqual(integrated, 0, log)
        self.assertLess(integrated, log.find("Sent again with the proxy credentials"), log)
        self.assertIn("TCP_DENIED/407", [result for result, *_ in squid.requests()])

    def test_a_keyed_build_fetches_the_manifest_again_with_the_credentials(self):
        squid = self.use_proxy(basic=True)
        self.wine.exe = os.environ["PELMORA_KEYED_EXE"]
        for server in (self.server, self.tls):
            server.write_tree(key=KEY, serial=5, expires="2099-12-31")
        self.have_databases(self.server.root / "tools")  # the same databases on both
        for base_url in (self.server.base_url, self.tls.base_url):
            with self.subTest(base_url=base_url):
                self.log_path.unlink(missing_ok=True)
                process = self.start(base_url=base_url)
                prompt, edits = self.proxy_prompt()
                self.assertTrue(self.wine.set_text(prompt, edits[0], USER))
                self.assertTrue(self.wine.set_text(prompt, edits[1], PASSWORD))
                self.assertTrue(self.wine.click(prompt, IDOK))
                self.assertTrue(self.pictures_complete(), self.log())  # the picture stamps too
                self.reaches_the_list(process)
                # Refused while the proxy wanted credentials; fetched again once with them.
                after = self.log().split("[Pelmora]Proxy credentials entered for this run")
                self.assertEqual(len(after), 2, self.log())
                self.assertIn("[Pelmora]Release 5 accepted", after[1])
                self.assertNotIn("refused", after[1])
        seen = squid.requests()
        base = f"http://127.0.0.1:{self.server.port}/tools/"
        passed = [url[len(base):] for result, _, url, user in seen
                  if user == USER and result == "TCP_MISS/200" and url.startswith(base)]
        for name in ("release.signed", "Pelmora.txt", "program_list.txt",
                     "db_version.txt", "image_version.txt"):
            self.assertIn(name, passed)
        tunnels = [url for _, method, url, user in seen if method == "CONNECT" and user == USER]
        self.assertIn(f"localhost:{self.tls.port}", tunnels)

    def test_a_server_asking_for_credentials_gets_none(self):
        self.use_proxy(basic=True)
        offers = urllib.parse.quote('Basic realm="pelmora",NTLM,Negotiate')
        for server in (self.server, self.tls):
            with self.subTest(base_url=server.base_url):
                self.log_path.unlink(missing_ok=True)
                server.control("reset")
                server.rule("/tools/program_list.txt", status=401, authenticate=offers)
                process = self.start(base_url=server.base_url)
                prompt, edits = self.proxy_prompt()
                self.assertTrue(self.wine.set_text(prompt, edits[0], USER))
                self.assertTrue(self.wine.set_text(prompt, edits[1], PASSWORD))
                self.assertTrue(self.wine.click(prompt, IDOK))
                # A catalogue that does not arrive closes Pelmora without a word.
                self.expect_closes_silently(process)
                self.assertIn(server.base_url + "program_list.txt: HTTP status 401", self.log())
                asked = server.control("log", prefix="/tools/").splitlines()
                self.assertTrue(any("program_list.txt" in line for line in asked), asked)
                self.assertFalse([line for line in asked if "authorization:" in line.lower()])
                server.control("clear", path="/tools/program_list.txt")


if __name__ == "__main__":
    unittest.main(verbosity=2)
