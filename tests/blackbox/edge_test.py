"""Pelmora behind a caching edge set as docs/publishing.md says (nginx; squid
ignoring the client's no-cache), fixed names kept minutes, the manifests not
cached: release 1 is fetched through it, release 2 deployed in place on the
origin, and the next start shows release 2's list, a keyed one recovering its
stale fixed names from their immutable copies, a key-less one installing
release 2's tool from its versioned folder beside the edge's copy of release
1's. And starts straight from the origin while releases are deployed: each
shows one whole release."""
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request
from pathlib import Path
from unittest import mock

from pelmora_case import START, PelmoraCase
from proxy_test import Squid
from wine_harness import wait_until

ROOT = Path(__file__).resolve().parents[2]
KEY = Path(__file__).parent / "keys" / "test_maker.pem"
PUBLISH = ROOT / "tools" / "publisher" / "publish.py"
MANIFESTS = r"release\.(signed|txt|txt\.sig)"
sys.path.insert(0, str(PUBLISH.parent))
import publish  # noqa: E402


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def docs_snippet(language, replacements):
    """The one ```language block of docs/publishing.md, with test values for
    its placeholders: the edge runs as the docs tell makers to set it."""
    text = (ROOT / "docs" / "publishing.md").read_text("utf-8")
    blocks = re.findall(rf"^```{language}\n(.*?)^```", text, re.S | re.M)
    assert len(blocks) == 1, f"one {language} block in docs/publishing.md"
    snippet = blocks[0]
    for old, new in replacements.items():
        assert old in snippet, f"{old!r} in the docs' {language} snippet"
        snippet = snippet.replace(old, new)
    return snippet


class Nginx:
    """nginx as a CDN edge in front of the origin at `origin_port`."""
    program = "nginx"
    keeps_publish_files = True  # the maker's own edge

    def __init__(self, origin_port, uncached=MANIFESTS):
        self.dir = Path(tempfile.mkdtemp(prefix="pelmora-edge-"))
        self.port = free_port()
        d = self.dir
        snippet = docs_snippet("nginx", {
            "/var/cache/nginx/pelmora": f"{d}/cache",
            "listen 80;": f"listen 127.0.0.1:{self.port};",
            "http://origin.example.com": f"http://127.0.0.1:{origin_port}", MANIFESTS: uncached})
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
{snippet}}}
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
        """(HIT or MISS, path) of every request, in order."""
        return [("HIT" if status == "HIT" else "MISS", path) for status, path in
                (line.split(" ", 1) for line in self.read("access.log").splitlines())]

    def stop(self):
        self.process.terminate()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait(10)
        shutil.rmtree(self.dir, ignore_errors=True)


class SquidEdge(Squid):
    """Debian's squid as an accelerator in front of the origin, its memory
    cache on, ignoring the client's no-cache as the docs' lines say."""
    program = "squid"
    keeps_publish_files = False  # a firm's proxy passes on what the origin serves

    def __init__(self, origin_port, uncached=MANIFESTS):
        origin = f"127.0.0.1:{origin_port}"
        snippet = docs_snippet("squid", {r"updates\.example\.com": re.escape(origin),
                                         MANIFESTS: uncached})
        super().__init__(False, port_options=f" accel defaultsite={origin} no-vhost", settings=[
            f"cache_peer 127.0.0.1 parent {origin_port} 0 no-query originserver name=origin",
            "cache_mem 64 MB", "maximum_object_size_in_memory 8 MB", *snippet.splitlines()])
        self.start()

    def log(self):
        return [("HIT" if "HIT" in result else "MISS", urllib.parse.urlsplit(url).path)
                for result, _, url, _ in self.requests()]

    def stop(self):
        super().stop()
        shutil.rmtree(self.folder, ignore_errors=True)


class EdgeCase(PelmoraCase):
    def setUp(self):
        super().setUp()
        self.origin = self.server.root / "tools"
        shutil.rmtree(self.origin, ignore_errors=True)
        self.built = Path(tempfile.mkdtemp(prefix="pelmora-built-"))
        self.addCleanup(shutil.rmtree, self.built, ignore_errors=True)
        self.base_url = self.server.base_url

    def build(self, serial, *options):
        """A release built as the maker does; its tree."""
        out = self.built / str(serial)
        subprocess.run(["/usr/bin/python3", str(ROOT / "tools/sample-server/make_sample_tree.py"),
                        str(out), self.base_url, "--key", str(KEY), "--serial", str(serial),
                        "--expires", "2099-12-31", *options],
                       check=True, stdout=subprocess.DEVNULL, timeout=300)
        return out / "tools"

    def deploy(self, serial, *options):
        """A release built, then deployed onto the origin."""
        subprocess.run([sys.executable, str(PUBLISH), "deploy", str(self.build(serial, *options)),
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


class EdgeTest(EdgeCase):
    edge_type = Nginx

    def use_edge(self, exe, **options):
        if not shutil.which(self.edge_type.program):
            self.skipTest(f"needs {self.edge_type.program} (tools/install-deps.sh)")
        self.wine.exe = exe
        self.edge = self.edge_type(self.server.port, **options)
        self.addCleanup(self.edge.stop)
        self.base_url = f"http://127.0.0.1:{self.edge.port}/tools/"

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
        self.assertIn(("MISS", "/tools/release.signed"), second)
        self.assertNotIn(("HIT", "/tools/release.signed"), second)  # never cached
        self.assertNotIn("/tools/release.txt", [path for _, path in second])
        self.assertTrue([path for status, path in second
                         if path.startswith("/tools/by-digest/") and status == "MISS"])

        # Once at the edge, the immutable copies come from its cache.
        before = len(self.edge.log())
        self.assertEqual(self.start_and_count_rows(), 7, self.log())
        third = [status for status, path in self.edge.log()[before:]
                 if path.startswith("/tools/by-digest/")]
        self.assertTrue(third)
        self.assertEqual(set(third), {"HIT"})

        if self.edge_type.keeps_publish_files:
            with self.assertRaises(urllib.error.HTTPError) as refused:
                urllib.request.urlopen(self.base_url + ".publish-history.json", timeout=30)
            self.assertEqual(refused.exception.code, 404)
            self.assertTrue((self.origin / ".publish-history.json").is_file())

    def test_a_keyless_start_installs_the_tool_of_the_release_deployed_in_place(self):
        # The catalogue's short lifetime has passed; the installers' has not.
        self.use_edge(os.environ["PELMORA_EXE"], uncached=f"({MANIFESTS}|program_list\\.txt)")
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
        downloaded = self.wine.tools_folder() / "Pelmora/downloaded_program/Halvex/setup.exe"
        self.assertEqual(downloaded.read_bytes(),
                         (self.origin / "packages/hq/Halvex/2.4.2/setup.exe").read_bytes())
        self.assertIn(("MISS", "/tools/packages/hq/Halvex/2.4.2/setup.exe"), self.edge.log())
        self.close_main(process, hwnd)


class SquidEdgeTest(EdgeTest):
    edge_type = SquidEdge


class PublishingWhileStartingTest(EdgeCase):
    def test_every_start_shows_one_whole_release_while_releases_are_deployed(self):
        self.wine.exe = os.environ["PELMORA_KEYED_EXE"]
        # Odd serials offer six tools, even ones seven.
        releases = [self.build(serial, *(["--offer-all"] if serial % 2 == 0 else []))
                    for serial in range(11, 19)]
        publish.deploy(releases[0], self.origin)
        self.have_databases(self.origin)

        # A slow upload: each changed file takes a while, so that starts
        # meet the origin halfway through a deploy.
        copy = publish.copy_file
        def slow_copy(source, target):
            if not publish.same_bytes(source, target):
                time.sleep(0.4)
            copy(source, target)
        patcher = mock.patch.object(publish, "copy_file", slow_copy)
        patcher.start()
        self.addCleanup(patcher.stop)
        stop, failed = threading.Event(), []
        def deploy_in_turn():
            try:
                for release in releases[1:]:
                    if stop.wait(0.5):
                        return
                    publish.deploy(release, self.origin)
            except Exception as e:
                failed.append(e)
        publisher = threading.Thread(target=deploy_in_turn, daemon=True)
        publisher.start()
        self.addCleanup(publisher.join, 120)
        self.addCleanup(stop.set)

        shown = []
        for _ in range(8):
            self.log_path.unlink(missing_ok=True)
            process = self.start()
            hwnd = self.main_window()
            if hwnd is None:  # only as a failed download, with its reason
                self.assertEqual(self.wine.wait_exit(process, 40), 0, self.log())
                self.assertNotIn("list ready", self.log())
                self.assertRegex(self.log(), "refused|not fetched")
                continue
            self.assertTrue(self.pictures_complete(), self.log())
            rows = len(self.rows(hwnd))
            self.close_main(process, hwnd)
            serial = int(re.findall(r"\[Pelmora\]Release (\d+) accepted", self.log())[-1])
            self.assertEqual(rows, 6 + (serial % 2 == 0), f"release {serial}: " + self.log())
            shown.append(serial)
        stop.set()
        publisher.join(120)
        self.assertEqual(failed, [])
        self.assertGreater(len(set(shown)), 1, "releases deployed while starting")
        self.assertEqual(shown, sorted(shown))


if __name__ == "__main__":
    unittest.main()
