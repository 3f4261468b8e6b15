"""Pelmora.exe loads on Windows 7: its import table names no function that
Windows 7 lacks (newer_than_windows7.txt beside this file) and no API-set DLL
(api-ms-win-*, absent from a Windows 7 without updates). Wine exports all of
them, so only the table itself shows the fault."""
import pathlib
import re
import subprocess
import sys
import unittest

HERE = pathlib.Path(__file__).resolve().parent


def newer_functions():
    found = set()
    for line in (HERE / "newer_than_windows7.txt").read_text().splitlines():
        if line.strip() and not line.startswith("#"):
            dll, name = line.split()
            found.add((dll.lower(), name))
    return found


def imports(exe):
    """(dll without .dll, lower case; function) for every import by name."""
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], check=True,
                          capture_output=True, text=True).stdout
    found, dll = [], None
    for line in dump.splitlines():
        named = re.match(r"\s*DLL Name: (\S+)", line)
        if named:
            dll = named.group(1).lower().removesuffix(".dll")
            continue
        entry = re.match(r"\s+[0-9a-f]+\s+(?:<none>\s+)?[0-9a-f]+\s+([A-Za-z_]\w*)$", line)
        if dll and entry:
            found.append((dll, entry.group(1)))
        if line.startswith("The Function Table") or not line.strip() and found:
            dll = None if not line.strip() else dll
    return found


class Windows7Imports(unittest.TestCase):
    def test_nothing_newer_than_windows_7(self):
        for exe in sys.argv[1:]:
            with self.subTest(exe=exe):
                table = imports(exe)
                # The reader works: every program imports these.
                self.assertIn(("kernel32", "CreateFileW"), table)
                self.assertIn(("user32", "CreateWindowExW"), table)
                newer = sorted(set(table) & newer_functions())
                self.assertEqual(newer, [], f"{exe} imports functions newer than Windows 7")
                api_sets = sorted({d for d, _ in table if d.startswith("api-ms-win-")})
                self.assertEqual(api_sets, [], f"{exe} imports API-set DLLs")
                # Called where present: looked up by name at run time instead.
                self.assertIn(b"SetDefaultDllDirectories\0", pathlib.Path(exe).read_bytes())


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
