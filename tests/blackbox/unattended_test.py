"""Switch lines for scripts, from outside: /check and /update against the
sample server with its real NSIS installers, the exit codes, the result file,
that no window ever appears, Pelmora's own update applied once, the machine
policies, and the MSI installed, upgraded and removed with msiexec."""
import ctypes
import json
import os
import select
import shutil
import signal
import subprocess
import tempfile
import threading
import time
import unittest
from pathlib import Path

from pelmora_case import PelmoraCase, windows_path, MAIN_TITLE, LIST, START
from sample_server import SampleServer
from wine_harness import WineSession, wait_until

CANCEL, INSTALL_BASE, IDOK = 1010, 2024, 1
POLICY = r"HKLM\SOFTWARE\Policies\Korvath\Pelmora"
INSTALLED_EXE = "C:\\Program Files\\Korvath\\Pelmora\\Pelmora.exe"
# An installer that waits, at most five minutes, for the file GO to appear.
WAITING_INSTALLER = r"""Unicode true
Target amd64-unicode
OutFile "${OUTFILE}"
SilentInstall silent
Section
    StrCpy $0 0
    again:
    IfFileExists "${GO}" done
    Sleep 200
    IntOp $0 $0 + 1
    IntCmp $0 1500 done again done
    done:
SectionEnd
"""
# Installed before each run: two tools behind, one current (the catalogue
# offers Halvex 2.4.1, Quorin 1.8.0, Pindral 3.0.2, Strenna 1.1.7, Veddimar 5.2.0).
INSTALLED = {"Halvex": "2.4.0", "Quorin": "1.7.9", "Pindral": "3.0.2"}
# The build tree's test publishers (cmake/signing.cmake): the one the
# published Pelmora.exe trusts, and someone else.
PUBLISHERS = Path(os.environ.get("PELMORA_TEST_PUBLISHER", "."))
SIGNED = {"sign_cert": PUBLISHERS / "publisher.pem", "sign_key": PUBLISHERS / "publisher.key"}


class WindowWatch:
    """Looks for any window of Pelmora's (its title or a message box) while a
    run lasts; the run has no business showing one."""

    def __init__(self, wine):
        self.wine, self.seen, self.done = wine, [], threading.Event()
        self.thread = threading.Thread(target=self.watch, daemon=True)

    def watch(self):
        while not self.done.wait(0.3):
            self.seen += [w for w in self.wine.windows() if w["visible"] and
                          (w["title"].startswith("Pelmora") or w["class"] == "#32770")]

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.done.set()
        self.thread.join(30)


class SwapOnFirstDelete:
    """Waits (inotify) for the first entry deleted in `folder`, then stops the
    process (SIGSTOP standing in for an oplock), puts a link to `target` where
    the folder was, and lets it go on: what it listed before is now behind a link."""
    IN_DELETE = 0x200

    def __init__(self, folder, target):
        self.folder, self.target, self.process = folder, target, None
        self.swapped, self.done = threading.Event(), threading.Event()
        self.libc = ctypes.CDLL("libc.so.6", use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK)
        self.libc.inotify_add_watch(self.fd, str(folder).encode(), self.IN_DELETE)
        self.thread = threading.Thread(target=self.watch, daemon=True)

    def start(self, process):
        self.process = process
        self.thread.start()

    def watch(self):
        while not self.done.is_set():
            if not select.select([self.fd], [], [], 0.05)[0]:
                continue
            os.kill(self.process.pid, signal.SIGSTOP)  # our own child, by its pid
            try:
                self.folder.rename(self.folder.with_name("moved-away"))
                self.folder.symlink_to(self.target, target_is_directory=True)
                self.swapped.set()
            finally:
                os.kill(self.process.pid, signal.SIGCONT)
            return

    def stop(self):
        self.done.set()
        self.thread.join(10)
        os.close(self.fd)


class ScriptRuns(PelmoraCase):
    """Switch lines of the Pelmora.exe built with the test publisher."""

    def setUp(self):
        super().setUp()
        self.wine.exe = os.environ["PELMORA_PUBLISHED_EXE"]
        for name, version in INSTALLED.items():
            self.register(name, version)
        self.registered |= {"Strenna", "Veddimar"}  # whatever a run installs goes again
        self.result = Path(self.folder.name) / "result.json"

    def tearDown(self):
        self.wine.run_wine("reg", "delete", POLICY, "/f", "/reg:64")
        super().tearDown()

    def run_line(self, *switches, base_url=None, watch=True):
        """(exit code, result lines, console text) of one switch line."""
        out = Path(self.folder.name) / "console.txt"
        env = self.wine.env({"PELMORA_BASE_URL": base_url or self.server.base_url,
                             "PELMORA_LOG": windows_path(self.log_path)})
        with open(out, "wb") as console:
            process = subprocess.Popen(["wine", self.wine.exe, *switches], env=env,
                                       stdout=console, stderr=subprocess.DEVNULL,
                                       stdin=subprocess.DEVNULL)
            self.wine.started.append(process)
            if watch:
                with WindowWatch(self.wine) as seen:
                    code = self.wine.wait_exit(process, 600)
                self.assertEqual(seen.seen, [], "a switch line showed a window")
            else:
                code = self.wine.wait_exit(process, 600)
        lines = [json.loads(line) for line in self.result.read_text("utf-8").splitlines()] \
            if self.result.exists() else []
        return code, {line["name"]: line for line in lines}, out.read_text("utf-8", "replace")


class SwitchLines(ScriptRuns):
    tree_options = {"installers": True,
                    "installer_exit": ["Strenna=3010", "Veddimar=1603", "Pindral=hang"],
                    **SIGNED}

    def test_check_then_update_with_the_result_file(self):
        code, tools, console = self.run_line("/check", f"/result:{windows_path(self.result)}")
        self.assertEqual(code, 10, self.log())
        self.assertEqual({n: tools[n]["outcome"] for n in ("Pelmora", *INSTALLED, "Strenna")},
                         {"Pelmora": "current", "Halvex": "available", "Quorin": "available",
                          "Pindral": "current", "Strenna": "not-installed"})
        self.assertEqual((tools["Halvex"]["before"], tools["Halvex"]["offered"]), ("2.4.0", "2.4.1"))
        self.assertIn("Halvex: available (installed 2.4.0, offered 2.4.1)", console)
        self.assertEqual(self.wine.registered_version("Halvex"), "2.4.0")  # /check changes nothing
        self.assertEqual(self.server.requests("/tools/packages/"), [])

        code, tools, _ = self.run_line("/update", f"/result:{windows_path(self.result)}")
        self.assertEqual(code, 0, self.log())
        for name, version in (("Halvex", "2.4.1"), ("Quorin", "1.8.0")):
            self.assertEqual(tools[name]["outcome"], "updated")
            self.assertEqual((tools[name]["after"], tools[name]["exit_code"]), (version, 0))
            self.assertEqual(self.wine.registered_version(name), version)
        self.assertEqual(tools["Pindral"]["outcome"], "current")
        self.assertIsNone(self.wine.registered_version("Strenna"))  # not installed, not named
        # Run again: everything is current, and 0 says so.
        self.assertEqual(self.run_line("/update", watch=False)[0], 0)

    def test_exit_codes(self):
        unreachable = "http://127.0.0.1:9/tools/"
        for switches, base_url, code, log_words in (
                (["/update:Strenna"], None, 3010, "Exit code 3010"),
                (["/update:Veddimar,Strenna"], None, 1, "Veddimar: failed"),
                (["/update:Nobody"], None, 1, "Nobody: failed"),
                (["/updat"], None, 2, "unknown switch"),
                (["/check"], unreachable, 4, "could not be reached"),
        ):
            with self.subTest(switches=switches):
                self.result.unlink(missing_ok=True)
                got, tools, console = self.run_line(
                    *switches, f"/result:{windows_path(self.result)}", base_url=base_url)
                # A Unix parent sees the low 8 bits; the log has the whole code.
                self.assertEqual(got, code & 0xFF, self.log())
                self.assertIn(log_words, self.log())
                self.assertIn(log_words, console)
        self.assertIn("Usage: Pelmora.exe /check", self.log())
        self.assertEqual(self.wine.registered_version("Strenna"), "1.1.7")
        self.assertEqual(self.wine.registered_version("Veddimar"), "5.2.0")
        self.assertEqual(self.result.read_text(), "")  # no server, no tools

    def test_a_planted_link_is_not_followed(self):
        downloads = self.wine.work_folder() / "downloaded_program"
        elsewhere = Path(self.folder.name) / "elsewhere"
        elsewhere.mkdir()
        downloads.mkdir(parents=True, exist_ok=True)
        (downloads / "Halvex").symlink_to(elsewhere, target_is_directory=True)
        code, tools, _ = self.run_line("/update:Halvex", f"/result:{windows_path(self.result)}",
                                       watch=False)
        self.assertEqual(code, 1, self.log())
        self.assertIn("a link was planted at", tools["Halvex"]["reason"])
        self.assertEqual(list(elsewhere.iterdir()), [])
        self.assertEqual(self.wine.registered_version("Halvex"), "2.4.0")

    def temporary_folder(self):
        _, out = self.wine.run_wine("cmd", "/c", "echo %TEMP%")
        windows = out.decode().strip()
        return self.wine.prefix / "drive_c" / windows[3:].replace("\\", "/")

    def test_clean_up_deletes_only_its_own_folders_by_handle(self):
        # Wine's token is elevated: the run's private copies live in its own folder,
        # and %TEMP% (as SYSTEM C:\Windows\Temp) is not its to clear.
        work = self.wine.work_folder()
        planted = [self.temporary_folder() / "Pelmora-installer-1-2-3",
                   work / "Pelmora-installer-4-5-6"]  # named like a copy, no marker
        for folder in planted:
            (folder / "Tool").mkdir(parents=True, exist_ok=True)
            (folder / "Tool" / "setup.exe").write_bytes(b"someone else's")
        # A copy of Pelmora's own, and a folder elsewhere with the same names in it.
        ours = work / "Pelmora-installer-7-8-9"
        (ours / "Tool").mkdir(parents=True)
        (ours / "made-by-pelmora").write_bytes(b"")
        victim = Path(self.folder.name) / "victim"
        victim.mkdir()
        names = [f"file{n:04}.bin" for n in range(3000)]
        for name in names:
            (ours / "Tool" / name).write_bytes(b"ours")
            (victim / name).write_bytes(b"precious")
        swap = SwapOnFirstDelete(ours / "Tool", victim)
        out = Path(self.folder.name) / "console.txt"
        env = self.wine.env({"PELMORA_BASE_URL": self.server.base_url,
                             "PELMORA_LOG": windows_path(self.log_path)})
        try:
            with open(out, "wb") as console:
                process = subprocess.Popen(["wine", self.wine.exe, "/check"], env=env,
                                           stdout=console, stderr=subprocess.DEVNULL,
                                           stdin=subprocess.DEVNULL)
                self.wine.started.append(process)
                swap.start(process)
                self.assertEqual(self.wine.wait_exit(process, 600), 10, self.log())
        finally:
            swap.stop()
            for folder in planted:
                self.assertEqual((folder / "Tool" / "setup.exe").read_bytes(), b"someone else's")
                shutil.rmtree(folder)
        self.assertIn("Left as it was (not made by Pelmora): C:\\ProgramData\\Korvath\\Pelmora"
                      "\\Pelmora-installer-4-5-6", self.log())
        self.assertTrue(swap.swapped.is_set(), "the clean-up deleted the folder's entries")
        self.assertIn(r"\Pelmora-installer-7-8-9\Tool\file", self.log())
        self.assertIn("is not where it was listed", self.log())
        self.assertEqual(sorted(p.name for p in victim.iterdir()), names)
        self.assertEqual({p.read_bytes() for p in victim.iterdir()}, {b"precious"})

    def test_an_elevated_runs_folder_planted_as_a_link_is_refused(self):
        work, elsewhere = self.wine.work_folder(), Path(self.folder.name) / "elsewhere"
        elsewhere.mkdir()
        work.parent.mkdir(parents=True, exist_ok=True)
        work.symlink_to(elsewhere, target_is_directory=True)
        try:
            code, _, console = self.run_line("/check", watch=False)
        finally:
            work.unlink()
        self.assertEqual(code, 1, self.log())
        self.assertIn(r"Refused: C:\ProgramData\Korvath\Pelmora is a link", self.log())
        self.assertIn(r"Pelmora's folder cannot be written: C:\ProgramData\Korvath\Pelmora", console)
        self.assertEqual(list(elsewhere.iterdir()), [])

    def test_a_cut_short_download_is_resumed(self):
        installer, cut = "/tools/packages/hq/Halvex/2.4.1/setup_light.exe", 4096
        self.server.rule(installer, close_after=cut)
        self.assertEqual(self.run_line("/update:Halvex", watch=False)[0], 1, self.log())
        self.assertIn("the body was cut short", self.log())
        self.server.control("reset")
        self.assertEqual(self.run_line("/update:Halvex", watch=False)[0], 0, self.log())
        asked = self.server.control("log", prefix=installer).splitlines()
        self.assertTrue(any(f"Range: bytes={cut}-" in line.split("\t") for line in asked),
                        f"the second run resumes the body: {asked}")
        version = self.wine.work_folder() / "downloaded_program/Halvex/version.txt"
        self.assertEqual(version.read_text().strip() if version.exists() else None, "2.4.1")

    def test_a_trickled_installer_ends_the_run(self):
        self.server.rule("/tools/packages/hq/Halvex/2.4.1/setup_light.exe", rate=1)
        self.addCleanup(self.server.control, "reset")
        started = time.monotonic()
        code, tools, _ = self.run_line("/update:Halvex", f"/result:{windows_path(self.result)}",
                                       watch=False)
        self.assertEqual(code, 1, self.log())
        self.assertIn("too slow", tools["Halvex"]["reason"])
        self.assertIn("[Pelmora]Download too slow", self.log())
        print(f"trickled installer: the run ended after {time.monotonic() - started:.0f} s")

    def test_an_installer_past_the_timeout_is_ended_and_not_judged(self):
        self.register("Pindral", "3.0.1")  # its installer never ends
        code, tools, _ = self.run_line("/update:Pindral", "/timeout:1",
                                       f"/result:{windows_path(self.result)}", watch=False)
        self.assertEqual(code, 1, self.log())
        pindral = tools["Pindral"]
        self.assertEqual(pindral["outcome"], "failed")
        self.assertIn("did not end within 1 minutes: it was ended", pindral["reason"])
        self.assertIsNone(pindral["after"])  # nothing of it is judged
        self.assertEqual(self.wine.registered_version("Pindral"), "3.0.1")

    def test_a_result_path_through_a_link_is_not_written(self):
        elsewhere = Path(self.folder.name) / "elsewhere"
        elsewhere.mkdir()
        victim = elsewhere / "result.json"
        victim.write_text("precious")
        (Path(self.folder.name) / "linked").symlink_to(elsewhere, target_is_directory=True)
        (Path(self.folder.name) / "r.json").symlink_to(victim)
        for path in (Path(self.folder.name) / "linked" / "result.json",
                     Path(self.folder.name) / "r.json"):
            with self.subTest(path=path):
                code, _, console = self.run_line("/check", f"/result:{windows_path(path)}",
                                                 watch=False)
                self.assertEqual(code, 1, self.log())
                self.assertIn("a link (junction, symbolic or hard link) is on the way", console)
        self.assertEqual(victim.read_text(), "precious")

    def test_another_pelmora_running(self):
        window = self.start()
        self.assertIsNotNone(self.wine.wait_window(MAIN_TITLE, 60000))
        self.result.write_text('{"name": "earlier"}\n')
        code, tools, _ = self.run_line("/check", f"/result:{windows_path(self.result)}",
                                       watch=False)
        self.assertEqual(code, 3)
        self.assertIn("Another Pelmora is running", self.log())
        self.assertEqual(list(tools), ["earlier"])  # maybe the other run's: left as it was
        window.kill()
        self.wine.wait_exit(window, 30)
        # A result file that cannot be written fails the run.
        missing = windows_path(Path(self.folder.name) / "no-folder" / "r.json")
        code, _, console = self.run_line("/check", f"/result:{missing}", watch=False)
        self.assertEqual(code, 1, self.log())
        for text in (console, self.log()):
            self.assertIn("The result file could not be written", text)

    def test_policies(self):
        def policy(name, kind, value):
            self.wine.run_wine("reg", "add", POLICY, "/v", name, "/t", kind, "/d", value,
                               "/reg:64", "/f")
        policy("Region", "REG_SZ", "EUR")
        policy("SelfUpdate", "REG_DWORD", "0")
        policy("UserUpdates", "REG_SZ", "maybe")  # unreadable: ignored with a log line
        code, _, _ = self.run_line("/update:Halvex")
        self.assertEqual(code, 0, self.log())
        self.assertEqual(self.server.requests("/tools/packages/"),
                         ["GET /tools/packages/eur/Halvex/2.4.1/setup_light.exe"])
        self.assertIn("Policy UserUpdates ignored", self.log())
        self.assertIn("Policy SelfUpdate = 0", self.log())

        # UserUpdates 0 (as text, as a script may write it): the list is there, but nothing
        # can be ticked or started.
        policy("UserUpdates", "REG_SZ", "0")
        self.start()
        hwnd = self.wine.wait_window(MAIN_TITLE, 60000)
        self.assertIsNotNone(hwnd)
        list_hwnd = self.wine.control(hwnd, LIST)["hwnd"]
        self.assertTrue(wait_until(lambda: len(self.wine.list_cells(list_hwnd)) >= 3, 30))
        self.wine.check_row(list_hwnd, 1)
        self.assertFalse(any(r["checked"] for r in self.wine.list_cells(list_hwnd)))
        self.assertFalse(self.wine.control(hwnd, START)["enabled"])
        self.wine.screenshot("unattended-user-updates-off")
        # The region the policy fixes is shown, and none can be chosen.
        self.wine.post(hwnd, 0x0111, 1003)  # WM_COMMAND: the settings button
        dialog = self.wine.wait_window(self.wine.string_text("strings_en.rc",
                                                             "IDS_SETTING_TITLE"), 20000)
        self.assertIsNotNone(dialog)
        radios = [c for c in self.wine.controls(dialog) if 1029 <= c["id"] <= 1032]
        self.assertEqual([c["enabled"] for c in radios], [False] * 4)
        self.wine.close(dialog)


class MakersInstallers(ScriptRuns):
    """Only what the maker vouches for runs: without the key, an installer its
    publisher signed; a build without a publisher installs nothing unattended."""
    tree_options = {"installers": True, **SIGNED, "flip_byte": "Veddimar",
                    "signer": ["Quorin=", "Strenna={},{}".format(PUBLISHERS / "other.pem",
                                                                 PUBLISHERS / "other.key")]}

    def test_only_the_publishers_installers_run(self):
        code, tools, _ = self.run_line("/update:Halvex,Quorin,Strenna,Veddimar",
                                       f"/result:{windows_path(self.result)}", watch=False)
        self.assertEqual(code, 1, self.log())
        self.assertEqual(tools["Halvex"]["outcome"], "updated")
        self.assertEqual(self.wine.registered_version("Halvex"), "2.4.1")
        for name, words in (("Quorin", "carries no signature"),
                            ("Strenna", 'signed by "Someone else"'),
                            ("Veddimar", "was changed after it was signed")):
            self.assertEqual(tools[name]["outcome"], "failed", name)
            self.assertIn(words, tools[name]["reason"])
            self.assertIn(words, self.log())
        self.assertEqual(self.wine.registered_version("Quorin"), "1.7.9")
        self.assertEqual([self.wine.registered_version(n) for n in ("Strenna", "Veddimar")],
                         [None, None])

    def test_the_window_says_why_it_does_not_start_one(self):
        process = self.start()
        hwnd = self.main_window(60000)
        self.assertIsNotNone(hwnd)
        list_hwnd = self.list_hwnd(hwnd)
        self.assertTrue(wait_until(lambda: len(self.rows(hwnd)) >= 3, 30))
        row = [name for name, _ in self.rows(hwnd)].index("Quorin")
        self.assertTrue(self.wine.check_row(list_hwnd, row))
        self.assertTrue(self.wine.click(hwnd, START))
        self.assertTrue(wait_until(lambda: self.wine.control(hwnd, CANCEL)["text"] == "Back", 60))
        self.assertTrue(self.wine.click(list_hwnd, INSTALL_BASE + row))
        self.expect_box("IDS_INSTALLER_UNSIGNED", IDOK)
        self.assertEqual(self.wine.registered_version("Quorin"), "1.7.9")
        self.close_main(process, hwnd)

    def test_without_a_publisher_nothing_is_installed(self):
        self.wine.exe = os.environ["PELMORA_EXE"]
        # The policy that allows unverified installers still wants https.
        for allowed, words in ((None, "AllowUnverifiedInstallers policy is 1"),
                               ("1", "only from an https:// address")):
            if allowed:
                self.wine.run_wine("reg", "add", POLICY, "/v", "AllowUnverifiedInstallers",
                                   "/t", "REG_SZ", "/d", allowed, "/reg:64", "/f")
            code, tools, console = self.run_line("/update:Halvex",
                                                 f"/result:{windows_path(self.result)}")
            self.assertEqual(code, 1, self.log())
            self.assertEqual(tools["Halvex"]["outcome"], "failed")
            for text in (tools["Halvex"]["reason"], self.log(), console):
                self.assertIn(words, text)
        self.assertEqual(self.server.requests("/tools/packages/"), [])
        self.assertEqual(self.wine.registered_version("Halvex"), "2.4.0")


class SelfUpdateOnce(PelmoraCase):
    """A newer Pelmora on the server: /update installs it silently once, and
    the new one goes on with the run."""

    @classmethod
    def setUpClass(cls):
        cls.stage = Path(tempfile.mkdtemp(prefix="pelmora-133-"))
        source = Path(os.environ["PELMORA_SOURCE_DIR"])
        setup = cls.stage / "PelmoraSetup.exe"
        exe = os.environ["PELMORA_PUBLISHED_EXE"]
        subprocess.run(["makensis", "-V1", f"-DPELMORA_EXE={exe}",
                        "-DVERSION=1.3.3", f"-DICON={source / 'resources/pelmora.ico'}",
                        f"-DOUTFILE={setup}", str(source / "installer/pelmora.nsi")],
                       check=True, stdout=subprocess.DEVNULL, timeout=300)
        cls.sign(setup)  # as the build signs PelmoraSetup.exe
        cls.server = SampleServer(cls.__name__).start()
        # The sample tree offering 1.3.3, with its installer as Pelmora/setup.exe.
        subprocess.run(["python3", str(source / "tools/sample-server/make_sample_tree.py"),
                        str(cls.server.root), cls.server.base_url, "--self-version", "1.3.3",
                        "--pelmora-installer", str(setup)],
                       check=True, stdout=subprocess.DEVNULL, timeout=300)
        cls.server.control("reset")

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        shutil.rmtree(cls.stage, ignore_errors=True)

    def setUp(self):
        super().setUp()
        self.wine.exe = os.environ["PELMORA_PUBLISHED_EXE"]

    def install(self, setup):
        self.assertEqual(self.wine.run_wine(windows_path(setup), "/S", timeout=120)[0], 0)
        self.addCleanup(self.uninstall)
        # The installed copy checks installers as the run's own does.
        shutil.copy(self.wine.exe, self.installed_exe())

    def uninstall(self):
        self.wine.run_wine(INSTALLED_EXE.replace("Pelmora.exe", "uninstall.exe"), "/S",
                           "_?=" + INSTALLED_EXE.replace("\\Pelmora.exe", ""), timeout=120)
        # Its key may go a moment after it returns: not under the next test's registration.
        wait_until(lambda: self.wine.registered_version("Pelmora") is None, 30)

    def installed_exe(self):
        return self.wine.prefix / "drive_c" / INSTALLED_EXE[3:].replace("\\", "/")

    @staticmethod
    def sign(path):
        subprocess.run(["bash", str(Path(os.environ["PELMORA_SOURCE_DIR"]) / "tools/sign.sh"),
                        str(SIGNED["sign_cert"]), str(SIGNED["sign_key"]), str(path)],
                       check=True, stdout=subprocess.DEVNULL, timeout=300)

    def test_applied_once_and_the_run_goes_on(self):
        # Run from a copy outside the install folder: only the installed copy is replaced.
        self.install(os.environ["PELMORA_INSTALLER"])
        running = Path(self.wine.exe)
        before = running.read_bytes()
        result = Path(self.folder.name) / "r.json"
        process = self.start("/update", f"/result:{windows_path(result)}")
        self.assertEqual(self.wine.wait_exit(process, 600), 0, self.log())
        self.assertEqual(self.wine.registered_version("Pelmora"), "1.3.3")
        self.assertEqual(self.server.requests("/tools/Pelmora/setup.exe"),
                         ["GET /tools/Pelmora/setup.exe"])
        self.assertIn(f"the run goes on with {INSTALLED_EXE}", self.log())
        self.assertEqual(running.read_bytes(), before)
        self.assertEqual([p.name for p in running.parent.glob("Pelmora.exe.*")], [])
        # The parent's update is in the result file, as a tool's is.
        tools = {json.loads(l)["name"]: json.loads(l) for l in result.read_text().splitlines()}
        self.assertEqual(
            [tools["Pelmora"][k] for k in ("before", "offered", "after", "outcome", "exit_code")],
            ["1.3.2", "1.3.3", "1.3.3", "updated", 0])

    def test_a_run_killed_while_pelmora_stepped_aside(self):
        # Pelmora's installer holds until the test lets it go.
        go = self.stage / "go"  # outlives the test's folder: the installer ends whatever happens
        go.unlink(missing_ok=True)
        waiting = self.stage / "Waiting.exe"
        script = self.stage / "waiting.nsi"
        script.write_text(WAITING_INSTALLER)
        subprocess.run(["makensis", "-V1", f"-DOUTFILE={waiting}", f"-DGO={windows_path(go)}",
                        str(script)], check=True, stdout=subprocess.DEVNULL, timeout=300)
        self.sign(waiting)
        self.install(os.environ["PELMORA_INSTALLER"])
        self.server.write_tree(self_version="1.3.3", pelmora_installer=waiting)
        self.addCleanup(self.restore_tree)
        self.addCleanup(lambda: go.write_text("go"))
        installed = self.installed_exe()
        process = self.start_installed("/update")
        aside = lambda: list(installed.parent.glob("Pelmora.exe.*.old"))
        self.assertTrue(wait_until(lambda: aside() and "Running " in self.log(), 120), self.log())
        process.kill()  # the run, by its process id, with its installer waiting
        self.wine.wait_exit(process, 30)
        go.write_text("go")
        self.assertTrue(installed.exists())  # never missing, not even while stepped aside
        self.assertEqual(self.run_installed(), 10, self.log())  # it runs, and offers 1.3.3 again
        # The killed run's aside copy is gone (deleted by handle: once the last one closes).
        self.assertTrue(wait_until(lambda: aside() == [], 10), aside())
        # Had the path gone missing, the next start of any copy brings it back.
        installed.rename(installed.with_name("Pelmora.exe.99999996.old"))
        self.assertEqual(self.wine.wait_exit(self.start("/check"), 300), 10, self.log())
        self.assertIn("Pelmora.exe was missing; brought back", self.log())
        self.assertEqual(self.run_installed(), 10, self.log())

    def start_installed(self, *args):
        env = self.wine.env({"PELMORA_BASE_URL": self.server.base_url,
                             "PELMORA_LOG": windows_path(self.log_path)})
        process = subprocess.Popen(["wine", INSTALLED_EXE, *args], env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.wine.started.append(process)
        return process

    def run_installed(self):
        return self.wine.wait_exit(self.start_installed("/check"), 300)

    def restore_tree(self):
        self.server.write_tree(self_version="1.3.3", pelmora_installer=self.stage /
                               "PelmoraSetup.exe")

    def test_an_msi_install_updates_only_through_the_releases_msi(self):
        msi = Path(os.environ["PELMORA_INSTALLER"]).with_name("Pelmora.msi")
        self.assertEqual(self.wine.run_wine("msiexec", "/i", windows_path(msi), "/qn",
                                            timeout=300)[0], 0)
        newer = self.stage / "Pelmora-1.3.3.msi"
        self.addCleanup(self.wine.run_wine, "msiexec", "/x", windows_path(newer), "/qn",
                        timeout=300)
        self.addCleanup(self.wine.run_wine, "msiexec", "/x", windows_path(msi), "/qn",
                        timeout=300)
        result = Path(self.folder.name) / "r.json"

        def update():
            process = self.start("/update", f"/result:{windows_path(result)}")
            self.assertEqual(self.wine.wait_exit(process, 600), 0, self.log())
            return json.loads(result.read_text().splitlines()[0])

        # A release without an MSI: left as it is, and the result says why.
        pelmora = update()
        self.assertEqual((pelmora["name"], pelmora["outcome"]), ("Pelmora", "available"))
        self.assertIn("installed by its MSI", pelmora["reason"])
        self.assertEqual(self.server.requests("/tools/Pelmora/"), [])
        # Nor does Pelmora's NSIS installer go over it by hand.
        setup = windows_path(self.stage / "PelmoraSetup.exe")
        self.assertNotEqual(self.wine.run_wine(setup, "/S", timeout=120)[0], 0)
        self.assertEqual(self.wine.registered_version("Pelmora"), "1.3.2")

        # A release with its MSI: msiexec upgrades the MSI's install.
        source = Path(os.environ["PELMORA_SOURCE_DIR"])
        shutil.copy(source / "installer/pelmora.wxs", self.stage)
        shutil.copy(source / "resources/pelmora.ico", self.stage)
        shutil.copy(os.environ["PELMORA_EXE"], self.stage / "Pelmora.exe")
        subprocess.run(["wixl", "-a", "x64", "-D", "Version=1.3.3", "-D", "PelmoraExe=Pelmora.exe",
                        "-D", "Icon=pelmora.ico", "-o", newer.name, "pelmora.wxs"],
                       cwd=self.stage, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=300)
        self.sign(newer)
        self.server.write_tree(self_version="1.3.3", pelmora_installer=self.stage /
                               "PelmoraSetup.exe", pelmora_msi=newer)
        self.addCleanup(self.restore_tree)
        pelmora = update()
        self.assertEqual([pelmora[k] for k in ("before", "after", "outcome", "exit_code")],
                         ["1.3.2", "1.3.3", "updated", 0], self.log())
        self.assertEqual(self.server.requests("/tools/Pelmora/"),
                         ["GET /tools/Pelmora/Pelmora.msi"])
        _, key = self.wine.run_wine("reg", "query", self.wine.UNINSTALL + "\\Pelmora", "/v",
                                    "UninstallString", "/reg:64")
        self.assertIn(b"MsiExec.exe /X", key)  # still the MSI's
        self.assertTrue(self.installed_exe().exists())

    def no_self_update(self):
        self.wine.run_wine("reg", "add", POLICY, "/v", "SelfUpdate", "/t", "REG_DWORD", "/d", "0",
                           "/reg:64", "/f")
        self.addCleanup(self.wine.run_wine, "reg", "delete", POLICY, "/f", "/reg:64")

    def test_policy_keeps_pelmora_as_it_is(self):
        self.no_self_update()
        for line in ("/check", "/update"):
            process = self.start(line)
            self.assertEqual(self.wine.wait_exit(process, 600), 0, self.log())
        self.assertIn("the SelfUpdate policy is 0", self.log())
        self.assertEqual(self.server.requests("/tools/Pelmora/setup.exe"), [])
        self.assertEqual(self.wine.registered_version("Pelmora"), "1.3.2")

    def test_policy_keeps_the_window_from_asking(self):
        self.no_self_update()
        process = self.start()
        asked = lambda: [self.box_text(box["hwnd"]) for box in self.message_boxes()]
        self.assertTrue(wait_until(lambda: asked() or "list ready" in self.log(), 60), self.log())
        self.assertEqual(asked(), [], "the window asked about the newer Pelmora")
        self.close_main(process, self.main_window())
        self.assertEqual(self.server.requests("/tools/Pelmora/setup.exe"), [])


class Msi(unittest.TestCase):
    """Pelmora.msi installs, is replaced by a newer one, and goes, silently."""

    def setUp(self):
        self.wine = WineSession()
        self.stage = Path(tempfile.mkdtemp(prefix="pelmora-msi-"))

    def tearDown(self):
        self.wine.run_wine("msiexec", "/x", windows_path(self.newer), "/qn", timeout=300)
        self.wine.unregister("Pelmora")
        shutil.rmtree(self.stage, ignore_errors=True)

    def test_install_upgrade_remove(self):
        source = Path(os.environ["PELMORA_SOURCE_DIR"])
        msi = Path(os.environ["PELMORA_INSTALLER"]).with_name("Pelmora.msi")
        for name in ("pelmora.ico",):
            shutil.copy(source / "resources" / name, self.stage)
        shutil.copy(source / "installer/pelmora.wxs", self.stage)
        shutil.copy(os.environ["PELMORA_EXE"], self.stage / "Pelmora.exe")
        self.newer = self.stage / "Pelmora-1.3.3.msi"
        subprocess.run(["wixl", "-a", "x64", "-D", "Version=1.3.3", "-D", "PelmoraExe=Pelmora.exe",
                        "-D", "Icon=pelmora.ico", "-o", self.newer.name, "pelmora.wxs"],
                       cwd=self.stage, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=300)
        exe = self.wine.prefix / "drive_c/Program Files/Korvath/Pelmora/Pelmora.exe"

        self.assertEqual(self.wine.run_wine("msiexec", "/i", windows_path(msi), "/qn",
                                            timeout=300)[0], 0)
        self.assertEqual(self.wine.registered_version("Pelmora"), "1.3.2")
        self.assertTrue(exe.exists())
        self.assertEqual(self.wine.run_wine("msiexec", "/i", windows_path(self.newer), "/qn",
                                            timeout=300)[0], 0)
        self.assertEqual(self.wine.registered_version("Pelmora"), "1.3.3")
        self.assertTrue(exe.exists())
        self.assertEqual(self.wine.run_wine("msiexec", "/x", windows_path(self.newer), "/qn",
                                            timeout=300)[0], 0)
        self.assertIsNone(self.wine.registered_version("Pelmora"))
        self.assertFalse(exe.exists())


if __name__ == "__main__":
    unittest.main(verbosity=2)
