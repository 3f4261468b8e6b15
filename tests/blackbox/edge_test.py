"""Pelmora behind a caching edge (nginx keeping every file ten minutes
whatever the client asks, the manifests not cached): release 1 is fetched
through it, release 2 deployed in place on the origin, and the next start
shows release 2's list, a keyed one recovering its stale fixed names from
their immutable copies, a key-less one installing release 2's tool from its
versioned folder beside the edge's copy of release 1's."""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import unittest
import urllib.request
from pathlib import Path

from pelmora_case import START, PelmoraCase
from wine_harness import wait_until

ROOT = Path(__file__).resolve().parents[2]
KEY = Path(__file__).parent / "keys" / "test_maker.pem"
PUBLISH = ROOT / "tools" / "publisher" / "publish.py"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Edge:
    """nginx as a CDN edge in front of the origin at `origin_port`."""

    def __init__(self, origin_port, uncached=r"release\.(signed|txt|txt\.sig)"):
        self.dir = Path(tempfile.mkdtemp(prefix="pelmora-edge-"))
        self.port = free_port()
        d = self.dir
        (d / "nginx.conf").write_text(f"""
daemon off;
# One process as the user who runs it: no worker switches to another user.
master_process off;
worker_processes 1;
pid {d}/nginx.pid;
error_log {d}/error.log;
events {{ worker_connections 64; }}
http {{
    log_format edge '$upstream_cache_status $request_uri';
    access_log {d}/access.log edge;
    client_body_temp_path {d}/body;
    proxy_temp_path {d}/proxy;
    fastcgi_temp_path {d}/fastcgi;
    uwsgi_temp_path {d}/uwsgi;
    scgi_temp_path {d}/scgi;
    proxy_cache_path {d}/cache keys_zone=edge:1m;
    server {{
        listen 127.0.0.1:{self.port};
        location / {{
            proxy_pass http://127.0.0.1:{origin_port};
            proxy_cache edge;
            proxy_cache_valid 200 10m;
            proxy_ignore_headers Cache-Control Expires Set-Cookie;
        }}
        location ~ ^/tools/({uncached})$ {{
            proxy_pass http://127.0.0.1:{origin_port};
        }}
    }}
}}
""")
        self.process = subprocess.Popen(["nginx", "-c", str(d / "nginx.conf"), "-p", str(d)],
                                        stderr=subprocess.DEVNULL)
        if not wait_until(self.listening, 10):
            self.stop()
            raise RuntimeError("nginx did not start: " + self.read("error.log"))

    def listening(self):
        with socket.socket() as s:
            return s.connect_ex(("127.0.0.1", self.port)) == 0

    def read(self, name):
        path = self.dir / name
        return path.read_text(errors="replace") if path.exists() else ""

    def log(self):
        """(cache status, path) of every request, in order."""
        return [tuple(line.split(" ", 1)) for line in self.read("access.log").splitlines()]

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(10)
        shutil.rmtree(self.dir, ignore_errors=True)


@unittest.skipUnless(shutil.which("nginx"), "needs nginx (tools/install-deps.sh)")
class EdgeTest(PelmoraCase):
    def setUp(self):
        super().setUp()
        self.origin = self.server.root / "tools"
        shutil.rmtree(self.origin, ignore_errors=True)
        self.built = Path(tempfile.mkdtemp(prefix="pelmora-built-"))
        self.addCleanup(shutil.rmtree, self.built, ignore_errors=True)

    def use_edge(self, exe, **options):
        self.wine.exe = exe
        self.edge = Edge(self.server.port, **options)
        self.addCleanup(self.edge.stop)
        self.base_url = f"http://127.0.0.1:{self.edge.port}/tools/"

    def deploy(self, serial, *options):
        """A release built as the maker does, then deployed onto the origin."""
        out = self.built / str(serial)
        subprocess.run(["/usr/bin/python3", str(ROOT / "tools/sample-server/make_sample_tree.py"),
                        str(out), self.base_url, "--key", str(KEY), "--serial", str(serial),
                        "--expires", "2099-12-31", *options],
                       check=True, stdout=subprocess.DEVNULL, timeout=300)
        subprocess.run([sys.executable, str(PUBLISH), "deploy", str(out / "tools"),
                        str(self.origin)], check=True, stdout=subprocess.DEVNULL, timeout=120)

    def start_and_count_rows(self):
        self.log_path.unlink(missing_ok=True)
        process = self.start(base_url=self.base_url)
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd, self.log())
        self.assertTrue(self.pictures_complete(), self.log())
        rows = len(self.rows(hwnd))
        self.close_main(process, hwnd)
        return rows

    def test_a_release_published_in_place_behind_a_caching_edge(self):
        self.use_edge(os.environ["PELMORA_KEYED_EXE"])
        self.deploy(5)
        self.have_databases(self.origin)
        self.assertEqual(self.start_and_count_rows(), 6)  # Legacy Bridge is not offered
        self.assertIn("[Pelmora]Release 5 accepted", self.log())
        self.assertNotIn("immutable", self.log())

        # Release 2 lists every tool; the edge still holds release 1's list.
        self.deploy(6, "--offer-all", "--image-stamp", "2")
        before = len(self.edge.log())
        self.assertEqual(self.start_and_count_rows(), 7, self.log())
        log = self.log()
        self.assertIn("[Pelmora]Release 6 accepted", log)
        self.assertIn("[Pelmora]program_list.txt is not the release's (an older copy at a "
                      "cache?); taken from by-digest/", log)
        self.assertNotIn("refused", log)
        second = self.edge.log()[before:]
        self.assertIn(("HIT", "/tools/program_list.txt"), second)
        self.assertIn(("-", "/tools/release.signed"), second)  # never cached
        self.assertNotIn("/tools/release.txt", [path for _, path in second])
        self.assertTrue([path for status, path in second
                         if path.startswith("/tools/by-digest/") and status == "MISS"])

    def test_a_keyless_start_installs_the_tool_of_the_release_deployed_in_place(self):
        # The catalogue's short lifetime has passed; the installers' has not.
        self.use_edge(os.environ["PELMORA_EXE"],
                      uncached=r"release\.(signed|txt|txt\.sig)|program_list\.txt")
        tool = ["--tool-exe", os.environ["PELMORA_SAMPLE_TOOL"]]
        self.deploy(7, *tool)
        self.have_databases(self.origin)
        for name in ("setup.exe", "setup_light.exe"):  # another user's download
            urllib.request.urlopen(f"{self.base_url}packages/hq/Halvex/2.4.1/{name}",
                                   timeout=30).read()

        self.deploy(8, *tool, "--tool-version", "Halvex=2.4.2")
        process = self.start(base_url=self.base_url)
        hwnd = self.main_window()
        self.assertIsNotNone(hwnd, self.log())
        list_hwnd = self.list_hwnd(hwnd)
        self.assertTrue(self.wine.check_row(list_hwnd, 0))
        self.assertTrue(wait_until(lambda: self.wine.control(hwnd, START)["enabled"], 5))
        self.assertTrue(self.wine.click(hwnd, START))
        self.assertTrue(wait_until(lambda: self.wine.list_cells(list_hwnd)[0]["texts"][2]
                                   == "Downloaded", 60), self.log())
        downloaded = self.wine.work_folder() / "downloaded_program/Halvex/setup.exe"
        self.assertEqual(downloaded.read_bytes(),
                         (self.origin / "packages/hq/Halvex/2.4.2/setup.exe").read_bytes())
        self.assertIn(("MISS", "/tools/packages/hq/Halvex/2.4.2/setup.exe"), self.edge.log())
        self.close_main(process, hwnd)


if __name__ == "__main__":
    unittest.main()
