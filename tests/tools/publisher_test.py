"""The publisher: refusals, the tree it writes as Pelmora reads it, stamps,
lint and signatures. Run with /usr/bin/python3 (signing needs Debian's
python3-cryptography)."""
import datetime
import hashlib
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools" / "publisher"))
import publish  # noqa: E402

BASE = "http://updates.example/tools/"


def bmp(width=270, height=260, bits=24, shade=0):
    row = (width * bits // 8 + 3) & ~3
    data = bytes([shade]) * (row * height)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(data), 0, 0, 0, 0)
    return header + info + data


def program(signed):
    """A 64-bit Windows program's headers, whose certificate table (the fifth
    data directory) is empty or not."""
    optional = struct.pack("<H", 0x20B) + bytes(110) + bytes(32) + \
        struct.pack("<II", 0x400, 0x100 if signed else 0) + bytes(88)
    return (b"MZ" + bytes(58) + struct.pack("<I", 64) + b"PE\0\0" +
            struct.pack("<HHIIIHH", 0x8664, 0, 0, 0, 0, len(optional), 0x22) + optional)


def read_catalogue(data):
    """The catalogue as Pelmora's parser reads it: header dropped, runs of LF
    and of commas collapse, at most 20 lines of at most 999 units."""
    text = data[:80000].decode("utf-16-le")
    lines = [line for line in text.split("\n") if line][1:21]
    return [[f for f in line[:999].split(",") if f] for line in lines]


def self_version(data):
    line = data.split(b"\n")[0].rstrip(b"\r").decode("latin-1")
    return line.split("v")[1] if "v" in line else ""


class Workspace(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="publisher-test-"))
        self.src = self.dir / "release"
        self.out = self.dir / "tree"

    def tearDown(self):
        shutil.rmtree(self.dir)

    def write(self, relative, data):
        path = self.src / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data if isinstance(data, bytes) else data.encode("utf-8"))
        return relative

    def tool(self, tid, english, offered=True, version="1.0.0"):
        for i, p in enumerate(publish.PICTURES):
            self.write(f"pictures/{english}/{p}.bmp", bmp(shade=tid * 10 + i))
        return {"id": tid,
                "names": {"korean": f"도구{tid}", "english": english, "chinese": f"工具{tid}",
                          "japanese": f"ツール{tid}"},
                "version": version, "offered": offered, "pictures": f"pictures/{english}",
                "installers": {"setup.exe": self.write(f"setup/{english}.exe", f"full {english}"),
                               "setup_light.exe": self.write(f"setup/{english}-light.exe",
                                                             f"update {english}")},
                "release_note": self.write(f"notes/{english}.txt", f"{english} notes\r\n")}

    def description(self, tools=None, **extra):
        d = {"base_url": BASE,
             "pelmora": {"version": "1.3.2", "note": "20261208",
                         "installer": self.write("PelmoraSetup.exe", "pelmora installer")},
             "databases": {r: self.write(f"db/{r}.db", f"database {r}") for r in publish.REGIONS},
             "tools": tools if tools is not None else [self.tool(1, "Halvex"),
                                                       self.tool(2, "Legacy Bridge", False),
                                                       self.tool(3, "Model Viewer")]}
        d.update(extra)
        path = self.src / "release.json"
        path.write_text(json.dumps(d, ensure_ascii=False), encoding="utf-8")
        return path

    def refusals(self, description):
        with self.assertRaises(publish.Refused) as caught:
            publish.build(description, self.out)
        return caught.exception.problems

    def assertRefused(self, problems, where, field, words=""):
        hits = [p for p in problems if p.startswith(f"{where}: {field}: ") and words in p]
        self.assertTrue(hits, f"no refusal of {where}: {field} ({words}) in:\n" +
                        "\n".join(problems))


class RefusalTest(Workspace):
    def test_catalogue_fields_that_pelmora_would_misread(self):
        tools = [self.tool(1, "Halvex"), self.tool(2, "Quorin"), self.tool(3, "Pindral"),
                 self.tool(4, "CON"), self.tool(5, "Dots."), self.tool(6, "a/b"),
                 self.tool(7, "halvex", version="2/..")]
        tools[0]["names"]["korean"] = ""
        tools[0]["version"] = "2,4"
        tools[1]["names"]["chinese"] = "two\nlines"
        tools[1]["version"] = ""
        tools[2]["names"]["japanese"] = "cr\r"
        tools[2]["offered"] = "TRUE"
        tools[2]["id"] = "3"
        path = self.description(tools)
        problems = self.refusals(path)
        self.assertRefused(problems, "tool 1 (Halvex)", "names.korean", "empty")
        self.assertRefused(problems, "tool 1 (Halvex)", "version", "comma")
        self.assertRefused(problems, "tool 2 (Quorin)", "names.chinese", "line break")
        self.assertRefused(problems, "tool 2 (Quorin)", "version", "empty")
        self.assertRefused(problems, "tool 3 (Pindral)", "names.japanese", "line break")
        self.assertRefused(problems, "tool 3 (Pindral)", "offered")
        self.assertRefused(problems, "tool 3 (Pindral)", "id")
        self.assertRefused(problems, "tool 4 (CON)", "names.english", "device name")
        self.assertRefused(problems, "tool 5 (Dots.)", "names.english", "ends in a dot")
        self.assertRefused(problems, "tool 6 (a/b)", "names.english", "reserved character")
        self.assertRefused(problems, "tool 7 (halvex)", "names.english", "same folder name")
        self.assertRefused(problems, "tool 7 (halvex)", "version", "unsafe as a folder name")
        self.assertFalse(self.out.exists(), "nothing is written when anything is refused")

    def test_safe_name_rules(self):
        for name in ["COM1", "lpt¹.txt", "nul .x", "CLOCK$", "x:y", "tab\tname", "a" * 146,
                     "trail ", "..", "\udc00", "50%", "a#b"]:
            self.assertIsNotNone(publish.name_problem(name), name)
        for name in ["Model Viewer", "COM10", "CONSOLE", "a" * 145, "모델 뷰어", "x.y", "😀"]:
            self.assertIsNone(publish.name_problem(name), name)

    def test_limits_versions_pictures_and_installers(self):
        tools = [self.tool(i, f"Tool {i:02d}") for i in range(1, 22)]
        tools[0]["names"]["korean"] = "가" * 800
        tools[6]["silent_args"] = {"setup.exe": "/S\n/D=x"}
        tools[7]["silent_args"] = {"setup.msi": "/qn"}
        tools[1]["installers"]["setup_light.exe"] = "setup/none.exe"
        del tools[2]["installers"]
        self.write("pictures/Tool 04/kr.bmp", bmp(bits=32))
        self.write("pictures/Tool 04/en.bmp", bmp(width=100))
        (self.src / "pictures/Tool 05/po.bmp").unlink()
        self.write("pictures/Tool 06/jp.bmp", b"GIF89a")
        path = self.description(tools, serial=-1, expires="2027-02-30")
        data = json.loads(path.read_text())
        data["pelmora"]["version"] = "1.4.0-dev"
        path.write_text(json.dumps(data))
        problems = self.refusals(path)
        self.assertRefused(problems, "release", "tools", "at most 20")
        self.assertRefused(problems, "release", "serial")
        self.assertRefused(problems, "release", "expires")
        self.assertRefused(problems, "tool 1 (Tool 01)", "line", "999")
        self.assertRefused(problems, "tool 2 (Tool 02)", "installers setup_light.exe",
                           "not found")
        self.assertRefused(problems, "tool 3 (Tool 03)", "installers", "missing")
        self.assertRefused(problems, "tool 4 (Tool 04)", "pictures kr.bmp", "32-bit")
        self.assertRefused(problems, "tool 4 (Tool 04)", "pictures en.bmp", "100x260")
        self.assertRefused(problems, "tool 5 (Tool 05)", "pictures po.bmp", "not found")
        self.assertRefused(problems, "tool 6 (Tool 06)", "pictures jp.bmp", "not a BMP")
        self.assertRefused(problems, "Pelmora", "version", "lower-case 'v'")
        self.assertRefused(problems, "tool 7 (Tool 07)", "silent_args", "one line")
        self.assertRefused(problems, "tool 8 (Tool 08)", "silent_args", "setup.exe")

    def test_base_url_and_key_inside_the_tree(self):
        problems = self.refusals(self.description(base_url="http://a,b/tools/"))
        self.assertRefused(problems, "tool 1 (Halvex)", "image location", "comma")
        problems = self.refusals(self.description(base_url="http://host/updates/"))
        self.assertRefused(problems, "release", "base_url")
        self.out.mkdir()
        (self.out / "maker.pem").write_text("secret")
        with self.assertRaises(publish.Refused) as caught:
            publish.build(self.description(), self.out, self.out / "maker.pem")
        self.assertIn("never be published", caught.exception.problems[0])


class TreeTest(Workspace):
    def test_round_trip_reads_back_as_described(self):
        publish.build(self.description(serial=12, expires="2027-06-30"), self.out)
        data = (self.out / "program_list.txt").read_bytes()
        self.assertTrue(data.startswith(b"\xff\xfe"))
        text = data[2:].decode("utf-16-le")
        self.assertNotIn("\r", text)
        self.assertEqual(text.split("\n")[0], publish.HEADER + ",serial=12,expires=2027-06-30")
        self.assertEqual(publish.parse_header(text.split("\n")[0]),
                         {"serial": 12, "expires": datetime.date(2027, 6, 30)})
        rows = read_catalogue(data)
        self.assertEqual(len(rows), 3)
        viewer = rows[2]
        self.assertEqual(viewer[:8], ["3", "도구3", "Model Viewer", "工具3", "ツール3", "1.0.0",
                                      "TRUE", BASE + "images/Model Viewer"])
        self.assertEqual(viewer[8:12], [f"{BASE}packages/{r}/Model Viewer/1.0.0"
                                        for r in publish.REGIONS])
        full = hashlib.sha256(b"full Model Viewer").hexdigest()
        light = hashlib.sha256(b"update Model Viewer").hexdigest()
        self.assertEqual(viewer[12:], [f"setup.exe=sha256:{full}",
                                       f"setup_light.exe=sha256:{light}"])
        self.assertEqual(rows[1][6], "FALSE")
        for r in publish.REGIONS:
            folder = self.out / "packages" / r / "Model Viewer" / "1.0.0"
            self.assertEqual((folder / "setup.exe").read_bytes(), b"full Model Viewer")
            self.assertEqual((folder / "setup_light.exe").read_bytes(), b"update Model Viewer")
            self.assertEqual((self.out / f"modelinfo_{r}.db").read_bytes(), f"database {r}".encode())
        self.assertTrue((self.out / "packages/hq/Halvex/1.0.0/ReleaseNote.txt").is_file())
        self.assertEqual((self.out / "images/Halvex/po.bmp").read_bytes(),
                         (self.src / "pictures/Halvex/po.bmp").read_bytes())

        pelmora = (self.out / "Pelmora.txt").read_bytes()
        self.assertEqual(self_version(pelmora), "1.3.2")
        digest = hashlib.sha256(b"pelmora installer").hexdigest()
        self.assertEqual(pelmora, f"Pelmora v1.3.2v20261208 sha256:{digest}\r\n".encode())
        self.assertEqual((self.out / "Pelmora/setup.exe").read_bytes(), b"pelmora installer")

        # One picture stamp per tool, in list order, Legacy Bridge (not offered) too.
        stamps = (self.out / "image_version.txt").read_bytes().split(b"\r\n")
        self.assertEqual([s.split(b"-")[0] for s in stamps],
                         [b"Halvex", b"Legacy Bridge", b"Model Viewer", b""])
        self.assertTrue((self.out / "db_version.txt").read_bytes().endswith(b"\r\n"))
        self.assertEqual(publish.lint(self.out), [])
        self.assertFalse(list(self.out.glob("*.sig")))
        # For the check with Pelmora's own parsers (published_tree_test.cpp).
        if os.environ.get("PELMORA_PUBLISHED_TREE"):
            shutil.rmtree(os.environ["PELMORA_PUBLISHED_TREE"], ignore_errors=True)
            shutil.copytree(self.out, os.environ["PELMORA_PUBLISHED_TREE"])

    def test_pelmoras_msi_is_named_in_pelmora_txt_and_listed(self):
        path = self.description(serial=12, expires="2027-06-30")
        d = json.loads(path.read_text(encoding="utf-8"))
        d["pelmora"]["msi"] = self.write("Pelmora.msi", "pelmora msi")
        path.write_text(json.dumps(d, ensure_ascii=False), encoding="utf-8")
        publish.build(path, self.out)
        exe, msi = (hashlib.sha256(b).hexdigest() for b in (b"pelmora installer", b"pelmora msi"))
        self.assertEqual((self.out / "Pelmora.txt").read_bytes(),
                         f"Pelmora v1.3.2v20261208 sha256:{exe} Pelmora.msi=sha256:{msi}\r\n"
                         .encode())
        self.assertIn(f"{msi} Pelmora/Pelmora.msi\n", (self.out / "release.txt").read_text())
        self.assertEqual(publish.lint(self.out), [])
        (self.out / "Pelmora/Pelmora.msi").write_bytes(b"another msi")
        self.assertTrue([p for p in publish.lint(self.out) if p.startswith("Pelmora.txt:1:")
                         and "Pelmora/Pelmora.msi does not match" in p])

    def test_stamps_change_only_with_what_they_cover(self):
        path = self.description()
        publish.build(path, self.out)
        db = (self.out / "db_version.txt").read_bytes()
        images = (self.out / "image_version.txt").read_bytes().split(b"\r\n")
        publish.build(path, self.out)
        self.assertEqual((self.out / "db_version.txt").read_bytes(), db)
        self.assertEqual((self.out / "image_version.txt").read_bytes().split(b"\r\n"), images)

        # A stamp made by hand stays while its files do not change.
        (self.out / "db_version.txt").write_bytes(b"by hand\r\n")
        (self.out / "image_version.txt").write_bytes(
            b"H-by-hand\r\n" + images[1] + b"\r\n" + images[2] + b"\r\n")
        publish.build(path, self.out)
        self.assertEqual((self.out / "db_version.txt").read_bytes(), b"by hand\r\n")
        self.assertEqual((self.out / "image_version.txt").read_bytes().split(b"\r\n")[:3],
                         [b"H-by-hand", images[1], images[2]])

        self.write("pictures/Model Viewer/cn.bmp", bmp(shade=200))
        self.write("db/eur.db", "new database")
        publish.build(path, self.out)
        after = (self.out / "image_version.txt").read_bytes().split(b"\r\n")
        self.assertEqual(after[:2], [b"H-by-hand", images[1]])
        self.assertNotEqual(after[2], images[2])
        self.assertTrue(after[2].startswith(b"Model Viewer-"))
        self.assertNotEqual((self.out / "db_version.txt").read_bytes(), b"by hand\r\n")

        # A stamp the description gives is taken as it is.
        data = json.loads(path.read_text())
        data["databases"]["stamp"] = "2027 databases"
        data["tools"][0]["image_stamp"] = "Halvex-7"
        path.write_text(json.dumps(data))
        publish.build(path, self.out)
        self.assertEqual((self.out / "db_version.txt").read_bytes(), b"2027 databases\r\n")
        self.assertEqual((self.out / "image_version.txt").read_bytes().split(b"\r\n")[0],
                         b"Halvex-7")


class LintTest(Workspace):
    def test_8bit_names_go_into_urls_as_pelmora_requests_them(self):
        publish.build(self.description([self.tool(1, "Café")]), self.out)
        row = read_catalogue((self.out / "program_list.txt").read_bytes())[0]
        self.assertEqual(row[2], "Café")  # the folder name stays as it is
        self.assertEqual(row[7:9], [BASE + "images/Caf%C3%A9",
                                    BASE + "packages/hq/Caf%C3%A9/1.0.0"])
        self.assertTrue((self.out / "images/Café/kr.bmp").is_file())
        self.assertEqual(publish.lint(self.out), [])
        text = (self.out / "program_list.txt").read_bytes()[2:].decode("utf-16-le")
        (self.out / "program_list.txt").write_bytes(
            b"\xff\xfe" + text.replace("images/Caf%C3%A9", "images/Café").encode("utf-16-le"))
        self.assertEqual([p for p in publish.lint(self.out) if "beyond ASCII" in p],
                         ["program_list.txt:2: Café: image location has characters beyond "
                          "ASCII, which Pelmora requests in the client's code page: write it as "
                          + BASE + "images/Caf%C3%A9"])

    def test_every_planted_problem_with_its_line(self):
        publish.build(self.description([self.tool(i, f"Tool {i:02d}") for i in range(1, 5)],
                                       expires="2020-01-01"), self.out)
        self.assertEqual(publish.lint(self.out), ["program_list.txt:1: header: expired on "
                                                  "2020-01-01"])
        text = (self.out / "program_list.txt").read_bytes()[2:].decode("utf-16-le")
        lines = text.split("\n")
        lines[0] = lines[0].replace("2020-01-01", "soon")
        lines[1] = lines[1].replace(",1.0.0,TRUE,", ",1.0.1,TRUE,")  # line 2: folders of 1.0.0
        lines[2] = lines[2].replace(",도구2,", ",,")                    # line 3: empty field
        lines[3] = lines[3] + "\r"                                     # line 4: CR LF
        lines[4] = lines[4].replace(",TRUE,", ",True,").replace("Tool 04,", "Tool 04.,")
        extra = [f"{i},k,Extra {i},c,j,1,FALSE,{BASE}images/Extra {i},{BASE}p,{BASE}p,{BASE}p,"
                 f"{BASE}p" for i in range(5, 23)]
        lines[5:5] = ["", "9", *extra]  # an empty line, a short line at 7, lines 8..25
        (self.out / "program_list.txt").write_bytes(
            b"\xff\xfe" + "\n".join(lines).encode("utf-16-le"))
        (self.out / "packages/eur/Tool 01/1.0.0/setup_light.exe").write_bytes(b"replaced")
        (self.out / "images/Tool 03/jp.bmp").write_bytes(bmp(height=100))
        (self.out / "Pelmora/setup.exe").write_bytes(b"another installer")
        (self.out / "packages/hq/Tool 01/1.0.0/setup.exe").write_bytes(program(signed=False))
        (self.out / "packages/hq/Tool 01/1.0.0/setup_light.exe").write_bytes(program(signed=True))
        (self.out / "modelinfo_amr.db").unlink()
        problems = publish.lint(self.out)
        self.assertEqual([p for p in problems if "is not signed" in p],
                         ["program_list.txt:2: Tool 01: installer packages/hq/Tool 01/1.0.0/"
                          "setup.exe is not signed (docs/publishing.md: signing what Pelmora "
                          "runs)"])
        expected = [
            ("program_list.txt:1: header:", "soon"),
            ("program_list.txt:2: Tool 01:",
             "packages/eur/Tool 01/1.0.0/setup_light.exe does not match"),
            ("program_list.txt:2: Tool 01:", "amr installers in packages/amr/Tool 01/1.0.0, "
             "not in the folder named by their version (packages/amr/Tool 01/1.0.1/)"),
            ("program_list.txt:3:", "empty field (after field 1)"),
            # ... so the English name is read from the Chinese one, and so on.
            ("program_list.txt:3: 工具2:", "offered 'http://updates.example/tools/images/"),
            ("program_list.txt:4:", "CR LF line end"),
            ("program_list.txt:5: Tool 04.:", "offered 'True'"),
            ("program_list.txt:5: Tool 04.:", "ends in a dot"),
            ("program_list.txt:7:", "1 fields, 12 expected"),
            ("program_list.txt:8: Extra 5:", "pictures missing in images/Extra 5: kr.bmp, en.bmp"),
            ("program_list.txt:8: Extra 5:", "installers missing in p: setup.exe, setup_light.exe"),
            ("program_list.txt:4: Tool 03:", "picture images/Tool 03/jp.bmp: 270x100, not 270x260"),
            ("program_list.txt:23:", "more than 20 program lines"),
            ("Pelmora.txt:1:", "does not match the digest"),
            ("modelinfo_amr.db:", "missing"),
            ("image_version.txt:", "4 stamps before the first empty line, but 19 tools"),
        ]
        for prefix, words in expected:
            self.assertTrue([p for p in problems if p.startswith(prefix) and words in p],
                            f"{prefix} {words} not reported in:\n" + "\n".join(problems))

    def test_a_utf8_catalogue_and_a_broken_self_version(self):
        publish.build(self.description(), self.out)
        (self.out / "program_list.txt").write_bytes(
            "id,Korean\n1,가,Halvex\n".encode("utf-8"))
        (self.out / "Pelmora.txt").write_bytes(b"Pelmora 1.3.2\r\n")
        (self.out / "db_version.txt").write_bytes(b"\r\nsecond line\r\n")
        problems = publish.lint(self.out)
        for prefix, words in [("program_list.txt:1:", "byte-order mark"),
                              ("program_list.txt:", "odd number of bytes"),
                              ("Pelmora.txt:1:", "no version"),
                              ("db_version.txt:1:", "empty stamp")]:
            self.assertTrue([p for p in problems if p.startswith(prefix) and words in p],
                            f"{prefix} {words} not reported in:\n" + "\n".join(problems))


class SignatureTest(Workspace):
    def test_signed_tree_verifies_and_tampering_does_not(self):
        from cryptography.hazmat.primitives import hashes
        from cryptography.hazmat.primitives.asymmetric import ec, utils
        key, public = self.dir / "maker.pem", self.dir / "maker.hex"
        hex_key = publish.keygen(key, public)
        self.assertEqual(public.read_text().strip(), hex_key)
        self.assertEqual(len(bytes.fromhex(hex_key)), 64)
        self.assertEqual(key.stat().st_mode & 0o777, 0o600)
        with self.assertRaises(publish.Refused):
            publish.keygen(key, self.dir / "other.hex")

        with self.assertRaises(publish.Refused) as caught:
            publish.build(self.description(serial=3), self.out, key)
        self.assertIn("release: expires: missing (a signed release needs it", str(caught.exception))

        tools = [self.tool(1, "Halvex"), self.tool(2, "Legacy Bridge", False),
                 self.tool(3, "Model Viewer")]
        tools[2]["silent_args"] = {"setup.exe": "/quiet /norestart%"}
        path = self.description(tools, serial=3, expires="2099-01-01")
        (self.out).mkdir()
        (self.out / "Pelmora.txt.sig").write_bytes(b"from an older publisher")
        publish.build(path, self.out, key)
        self.assertEqual([p.name for p in self.out.glob("*.sig")], ["release.txt.sig"])
        manifest = (self.out / "release.txt").read_bytes()
        signature = (self.out / "release.txt.sig").read_bytes()
        self.assertEqual(len(signature), 64)
        # Checked as BCryptVerifySignature will: raw r||s over SHA-256 of the bytes.
        point = ec.EllipticCurvePublicKey.from_encoded_point(ec.SECP256R1(),
                                                             b"\x04" + bytes.fromhex(hex_key))
        der = utils.encode_dss_signature(int.from_bytes(signature[:32], "big"),
                                         int.from_bytes(signature[32:], "big"))
        point.verify(der, manifest, ec.ECDSA(hashes.SHA256()))
        lines = manifest.decode().split("\n")
        self.assertEqual(lines[:3], ["pelmora-release 1", "serial 3", "expires 2099-01-01"])
        db = (self.out / "modelinfo_eur.db").read_bytes()
        self.assertIn(f"{len(db)} {hashlib.sha256(db).hexdigest()} modelinfo_eur.db", lines)
        self.assertEqual(len([x for x in lines if x.endswith("/ReleaseNote.txt")]), 3)
        # Silent arguments other than the default "/S", which goes without a line.
        self.assertFalse([x for x in lines if x.startswith("args /S ")])
        self.assertIn("args /quiet%20/norestart%25 packages/amr/Model Viewer/1.0.0/setup.exe",
                      lines)
        self.assertEqual(publish.lint(self.out, hex_key), [])
        # The one file: release.txt's files and where their immutable copies lie, signed.
        whole, signed = publish.split_signed_manifest((self.out / "release.signed").read_bytes())
        self.assertEqual(whole, manifest + b"immutable by-digest/\n")
        self.assertTrue(publish.verify(hex_key, whole, signed))
        self.assertEqual((self.out / "by-digest" / hashlib.sha256(db).hexdigest()).read_bytes(), db)
        tree_files = [p.read_bytes() for p in self.out.rglob("*") if p.is_file()]
        self.assertNotIn(key.read_bytes(), tree_files)

        # Files changed after publishing, a file left out of the manifest, a
        # stray old signature, and a manifest signed by another key.
        self.flip(self.out / "modelinfo_eur.db")
        self.flip(self.out / "images/Model Viewer/jp.bmp")
        (self.out / "release.txt").write_bytes(
            "\n".join(x for x in lines if not x.endswith("Halvex/kr.bmp")).encode())
        (self.out / "db_version.txt.sig").write_bytes(signature)
        (self.out / "by-digest" / hashlib.sha256(db).hexdigest()).unlink()
        problems = publish.lint(self.out, hex_key)
        for expected in ["modelinfo_eur.db: changed after publishing",
                         "release.signed:11: modelinfo_eur.db: no immutable copy as listed",
                         "images/Model Viewer/jp.bmp: changed after publishing",
                         "images/Halvex/kr.bmp is not in release.txt",
                         "db_version.txt.sig: left over",
                         "release.txt.sig: does not verify release.txt with the public key"]:
            self.assertTrue([p for p in problems if expected in p], f"{expected} in {problems}")
        other = self.dir / "other"
        other.mkdir()
        other_hex = publish.keygen(other / "k.pem", other / "k.hex")
        publish.build(path, self.out, key)
        self.assertEqual(publish.lint(self.out, hex_key), [])
        self.assertIn("release.txt.sig: does not verify release.txt with the public key",
                      publish.lint(self.out, other_hex))

        # An installer replaced under its published version, then its catalogue under the
        # old manifest.
        old = {n: (self.out / n).read_bytes() for n in ("release.txt", "release.txt.sig")}
        self.write("setup/Halvex.exe", "full Halvex, fixed")
        self.assertRefused(self.refusals(path), "tool 1 (Halvex)", "installers setup.exe",
                           "version 1.0.0 is published with other bytes")
        (self.out / "packages/amr/Halvex/1.0.0/setup.exe").write_bytes(b"full Halvex, fixed")
        publish.write_file(self.out / "program_list.txt", publish.catalogue_bytes(
            publish.Release(path)))
        for name, data in old.items():
            (self.out / name).write_bytes(data)
        problems = publish.lint(self.out, hex_key)
        self.assertTrue([p for p in problems if p.startswith("release.txt:") and
                         "packages/amr/Halvex/1.0.0/setup.exe: SHA-256 disagrees with the digest "
                         "in program_list.txt" in p], problems)

        # Published again without a key: no signature is left to disagree.
        self.write("setup/Halvex.exe", "full Halvex")
        publish.build(path, self.out)
        self.assertFalse(list(self.out.glob("*.sig")))
        self.assertEqual(publish.lint(self.out), [])

    @staticmethod
    def flip(path):
        data = bytearray(path.read_bytes())
        data[-1] ^= 1
        path.write_bytes(bytes(data))


class DeployTest(Workspace):
    """`deploy` onto an origin: the order, the lock, what the prune keeps."""

    def release(self, serial, halvex, version=None):
        tools = [self.tool(1, "Halvex", version=version or f"1.0.{serial}")]
        description = self.description(tools, serial=serial, expires="2099-01-01")
        self.write("setup/Halvex.exe", halvex)
        built = self.dir / f"built{serial}"
        publish.build(description, built)
        return built

    def test_immutable_first_manifests_last_and_one_publish_at_a_time(self):
        built, origin = self.release(1, "full Halvex 1"), self.dir / "origin"
        placed = []
        real_copy = publish.copy_file
        publish.copy_file = lambda source, target: (
            placed.append(source.relative_to(built).as_posix()), real_copy(source, target))
        try:
            publish.deploy(built, origin)
        finally:
            publish.copy_file = real_copy
        immutable = [i for i, n in enumerate(placed) if n.startswith("by-digest/")]
        self.assertEqual(immutable, list(range(len(immutable))))
        self.assertEqual(placed[-1:], ["release.txt"])  # built without a key: no signed file
        self.assertGreater(placed.index("program_list.txt"),
                           placed.index("packages/hq/Halvex/1.0.1/setup.exe"))
        self.assertEqual(publish.lint(origin), [])
        self.assertFalse((origin / publish.LOCK).exists())

        (origin / publish.LOCK).write_text("pid 99 since earlier\n")
        with self.assertRaises(publish.Refused) as caught:
            publish.deploy(self.release(2, "full Halvex 2"), origin)
        self.assertIn("held by another publish", str(caught.exception))
        self.assertIn("pid 99", str(caught.exception))
        self.assertEqual(publish.first_text_line((origin / "program_list.txt").read_bytes()[2:]
                                                 .decode("utf-16-le").encode()),
                         b"id,Korean,English,Chinese,Japanese,Version,List,Image,HQ,AMR,EUR,CHNA,"
                         b"serial=1,expires=2099-01-01")
        self.assertTrue((origin / publish.LOCK).exists(), "another's lock is left alone")

        # A published version's installer never changes: a cache may hold it.
        (origin / publish.LOCK).unlink()
        with self.assertRaises(publish.Refused) as caught:
            publish.deploy(self.release(3, "full Halvex 3", version="1.0.1"), origin)
        self.assertIn("packages/amr/Halvex/1.0.1/setup.exe: published with other bytes",
                      str(caught.exception))
        self.assertEqual((origin / "packages/amr/Halvex/1.0.1/setup.exe").read_bytes(),
                         b"full Halvex 1")
        self.assertFalse((origin / publish.LOCK).exists())

    def test_prune_keeps_the_last_releases_and_those_within_the_grace(self):
        origin, hour, start = self.dir / "origin", 3600, time.time()
        digests, pruned = [], []
        for serial, at in [(1, 0), (2, 10 * hour), (3, 20 * hour), (4, 20 * hour + 600)]:
            digests.append(hashlib.sha256(f"full Halvex {serial}".encode()).hexdigest())
            pruned.append(publish.deploy(self.release(serial, f"full Halvex {serial}"), origin,
                                         keep=2, grace_hours=1, now=start + at))
        held = {p.name for p in (origin / "by-digest").iterdir()}
        # 1 was replaced ten hours ago; 2 ten minutes ago (a client may hold its
        # manifest); 3 and 4 are the last two.
        self.assertEqual([d in held for d in digests], [False, True, True, True])
        self.assertEqual([len(p) for p in pruned], [0, 0, 2, 0])  # its installer and catalogue
        self.assertIn(digests[0], pruned[2])
        self.assertEqual(publish.lint(origin), [])
        history = json.loads((origin / publish.HISTORY).read_text())
        self.assertEqual([r["serial"] for r in history], [2, 3, 4])


class SampleTreeTest(Workspace):
    def test_sample_tree_is_published_and_lengthened_past_the_limit(self):
        subprocess.run([sys.executable, str(ROOT / "tools/sample-server/make_sample_tree.py"),
                        str(self.dir), BASE, "--programs", "25", "--image-stamp", "3"],
                       check=True, stdout=subprocess.DEVNULL, timeout=120)
        tree = self.dir / "tools"
        data = (tree / "program_list.txt").read_bytes()
        self.assertEqual(len(data[2:].decode("utf-16-le").split("\n")), 27)  # header, 25, end
        rows = read_catalogue(data)
        self.assertEqual([r[2] for r in rows[:3]], ["Halvex", "Quorin", "Pindral"])
        self.assertEqual(len(rows), 20)
        stamps = (tree / "image_version.txt").read_bytes().split(b"\r\n")
        self.assertEqual(len(stamps), 26)  # 25 tools and the end
        self.assertEqual(stamps[0], b"Halvex-images-3")
        self.assertEqual(self_version((tree / "Pelmora.txt").read_bytes()), "1.3.2")
        # Without --tool-exe and --pelmora-installer no installers are built; the
        # lines past the twentieth (and their picture stamps) are there on purpose.
        expected = ["installers missing", "Pelmora/setup.exe missing",
                    "more than 20 program lines", "20 stamps before the first empty line"]
        unexpected = [p for p in publish.lint(tree) if not any(e in p for e in expected)]
        self.assertEqual(unexpected, [])


class CommandLineTest(Workspace):
    def run_tool(self, *args):
        result = subprocess.run([sys.executable, str(ROOT / "tools/publisher/publish.py"), *args],
                                capture_output=True, text=True, timeout=60)
        return result.returncode, result.stdout + result.stderr

    def test_exit_status_and_messages(self):
        tools = [self.tool(1, "Halvex")]
        tools[0]["version"] = ""
        status, output = self.run_tool("build", str(self.description(tools)), str(self.out))
        self.assertEqual(status, 2)
        self.assertIn("publish.py: refused: tool 1 (Halvex): version: empty", output)
        status, output = self.run_tool("build", str(self.description()), str(self.out))
        self.assertEqual(status, 0, output)
        self.assertEqual(self.run_tool("lint", str(self.out))[0], 0)
        (self.out / "image_version.txt").write_bytes(b"")
        status, output = self.run_tool("lint", str(self.out))
        self.assertEqual(status, 1)
        self.assertIn("image_version.txt: 0 stamps", output)


if __name__ == "__main__":
    unittest.main(verbosity=2)
