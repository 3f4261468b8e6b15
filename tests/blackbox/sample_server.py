"""The sample update server for black-box tests: tools/test_server serving a
tree written by tools/sample-server/make_sample_tree.py, on 127.0.0.1."""
import json
import os
import shutil
import ssl
import subprocess
import sys
import urllib.request
from pathlib import Path


class SampleServer:
    def __init__(self, name, tls=None, host="127.0.0.1"):
        """tls: (certificate, key) PEM files to serve HTTPS with; host: the
        name Pelmora is given for 127.0.0.1."""
        self.source_dir = Path(os.environ["PELMORA_SOURCE_DIR"])
        # Below the build tree, wherever the test is started from.
        self.state = Path(os.environ["PELMORA_SERVERS_DIR"]) / name
        self.root = self.state / "root"
        self.port = None
        self.tls = tls
        self.host = host
        self.scheme = "https" if tls else "http"

    @property
    def base_url(self):
        return f"{self.scheme}://{self.host}:{self.port}/tools/"

    def start(self):
        self.state.mkdir(parents=True, exist_ok=True)
        options = ["--tls-cert", str(self.tls[0]), "--tls-key", str(self.tls[1])] if self.tls else []
        subprocess.run(["bash", str(self.source_dir / "tools/test_server/test-server.sh"), "start",
                        str(self.state), *options],
                       check=True, stdout=subprocess.DEVNULL, timeout=60)
        self.port = int((self.state / "port").read_text())
        return self

    def stop(self):
        subprocess.run(["bash", str(self.source_dir / "tools/test_server/test-server.sh"), "stop",
                        str(self.state)], stdout=subprocess.DEVNULL, timeout=60)

    def write_tree(self, installers=False, **options):
        """A fresh tree; options are make_sample_tree.py's, as keyword arguments."""
        shutil.rmtree(self.root / "tools", ignore_errors=True)
        # Signing needs Debian's python3-cryptography, installed for the system Python.
        python = "/usr/bin/python3" if "key" in options else sys.executable
        args = [python, str(self.source_dir / "tools/sample-server/make_sample_tree.py"),
                str(self.root), self.base_url]
        if installers:
            args += ["--tool-exe", os.environ["PELMORA_SAMPLE_TOOL"],
                     "--pelmora-installer", os.environ["PELMORA_INSTALLER"]]
        for key, value in options.items():
            for one in value if isinstance(value, list) else [value]:  # a list: repeated
                args += ["--" + key.replace("_", "-"), str(one)]
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL, timeout=300)
        self.control("reset")

    def control(self, action, **query):
        url = f"{self.scheme}://127.0.0.1:{self.port}/__control/{action}"
        if query:
            url += "?" + "&".join(f"{k}={v}" for k, v in query.items())
        # Our own server on loopback, whose certificate may be a bad one on purpose.
        context = ssl._create_unverified_context() if self.tls else None
        with urllib.request.urlopen(url, timeout=10, context=context) as response:
            return response.read().decode("utf-8", "replace")

    def rule(self, path, **rules):
        return self.control("rule", path=path, **rules)

    def requests(self, prefix="/"):
        return [line.split("\t")[0] for line in self.control("log", prefix=prefix).splitlines()]
