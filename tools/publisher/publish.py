#!/usr/bin/env python3
"""The maker's publisher: writes, checks and signs the update server tree.

    publish.py build DESCRIPTION.json OUT_DIR [--key KEY.pem]
    publish.py deploy OUT_DIR TARGET_DIR [--keep N] [--grace-hours H]
    publish.py lint TREE_DIR [--public-key PUBLIC.hex]
    publish.py keygen KEY.pem PUBLIC.hex

OUT_DIR and TREE_DIR are the folder served as the base URL (".../tools/").
The description format is described in docs/publishing.md, the tree and the
signed release manifest in docs/formats.md. Everything but signing and signature
checks is plain Python; those need the `cryptography` package (Debian's
python3-cryptography, so run them with /usr/bin/python3).
"""
import argparse
import datetime
import hashlib
import json
import os
import re
import shutil
import struct
import sys
import tempfile
import time
import urllib.parse
from pathlib import Path

TOOL = "publish.py"
HEADER = "id,Korean,English,Chinese,Japanese,Version,List,Image,HQ,AMR,EUR,CHNA"
REGIONS = ["hq", "amr", "eur", "chna"]
PICTURES = ["kr", "en", "cn", "jp", "po"]
PICTURE_SIZE = (270, 260)  # the main window's picture control
INSTALLERS = ["setup.exe", "setup_light.exe"]
NAME_FIELDS = ["korean", "english", "chinese", "japanese"]
MAX_TOOLS = 20
MAX_LINE_CHARS = 999
MAX_CATALOGUE_BYTES = 80000
# What Pelmora takes below the usual root (C:\Users\Public\Documents\, 26
# characters): its deepest path, the name's download folder and an installer's
# temporary file (88 characters beyond the name), must stay below MAX_PATH (259).
MAX_NAME_CHARS = 259 - 26 - 88
MAX_IMAGE_STAMPS = 20
# Signed by earlier publishers one by one; the release manifest vouches for them now.
OLD_SIGNED_FILES = ["program_list.txt", "Pelmora.txt", "db_version.txt", "image_version.txt"]
MANIFEST = "release.txt"
# The manifest and its signature in one file, which no cache can split.
SIGNED_MANIFEST = "release.signed"
# Every listed file also lies here under its SHA-256: a name whose bytes never change.
IMMUTABLE = "by-digest"
LOCK = ".publish.lock"
# packages/<region>/<english>/<version>/<installer>: bytes that never change once deployed.
VERSIONED_INSTALLER = re.compile(r"^packages/[^/]+/[^/]+/[^/]+/setup(_light)?\.exe$")
HISTORY = ".publish-history.json"
MANIFEST_FORMAT = "pelmora-release 1"
MANIFEST_ENTRY = re.compile(r"^([0-9]{1,18}) ([0-9A-Fa-f]{64}) (.+)$")
MANIFEST_ARGS = re.compile(r"^args (\S+) (.+)$")
# A line kind of a later release: Pelmora and lint skip it.
MANIFEST_KEYWORD = re.compile(r"^[a-z][a-z0-9-]*(?: |$)")
DEFAULT_SILENT_ARGS = "/S"  # the NSIS switch
MAX_SILENT_ARGS = 200
SIGNATURE_BYTES = 64
DIGEST_FIELD = re.compile(r"^(setup\.exe|setup_light\.exe)=sha256:([0-9A-Fa-f]{64})$")
SELF_DIGEST = re.compile(r"(?:^|\s)sha256:([0-9A-Fa-f]{64})(?:\s|$)")
SELF_MSI_DIGEST = re.compile(r"(?:^|\s)Pelmora\.msi=sha256:([0-9A-Fa-f]{64})(?:\s|$)")
FIELD_TITLES = (["id", "names.korean", "names.english", "names.chinese", "names.japanese",
                 "version", "offered", "image location"]
                + [f"package location {r}" for r in REGIONS])


class Refused(Exception):
    """Everything wrong with a description, one line per problem."""

    def __init__(self, problems):
        super().__init__("\n".join(problems))
        self.problems = problems


# ---------------------------------------------------------------- shared rules

def name_problem(name):
    """Why a name cannot be one folder name below Pelmora's folders (Windows'
    rules: devices, reserved characters, trailing dot or blank), or None."""
    if not name:
        return "empty name"
    if len(name.encode("utf-16-le", "surrogatepass")) // 2 > MAX_NAME_CHARS:
        return "name too long"
    units = name.encode("utf-16-le", "surrogatepass")
    codes = [units[i] | units[i + 1] << 8 for i in range(0, len(units), 2)]
    i = 0
    while i < len(codes):
        c = codes[i]
        if c < 0x20:
            return "control character in name"
        if chr(c) in '\\/:*?"<>|':
            return "path separator or reserved character in name"
        if 0xDC00 <= c <= 0xDFFF:
            return "unpaired surrogate in name"
        if 0xD800 <= c <= 0xDBFF:
            if i + 1 == len(codes) or not 0xDC00 <= codes[i + 1] <= 0xDFFF:
                return "unpaired surrogate in name"
            i += 1
        i += 1
    if name[-1] in ". ":
        return "name ends in a dot or a blank"
    base = name.split(".", 1)[0].rstrip(" ").upper()
    if base in ("CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"):
        return "device name"
    if len(base) == 4 and base[:3] in ("COM", "LPT") and (base[3].isdigit() or base[3] in "¹²³"):
        return "device name"
    # The name is also a path segment of the picture and package URLs.
    if "#" in name or "%" in name:
        return "'#' or '%' in name (it is part of URLs)"
    return None


def url_form(url):
    """The URL as Pelmora requests it whatever the client's code page: every
    character beyond ASCII as its UTF-8 bytes, percent-escaped. Pelmora passes
    escapes through as they stand, but sends other 8-bit characters in the
    client's ANSI code page, which the server cannot know."""
    return "".join(c if ord(c) < 0x80 else urllib.parse.quote(c, safe="") for c in url)


def field_problem(value):
    """Why a text cannot be one catalogue field, or None: runs of commas and of
    line feeds separate, so an empty field, a comma or a line break in it moves
    every later field."""
    if value == "":
        return "empty"
    if "," in value:
        return "contains a comma"
    if "\n" in value or "\r" in value:
        return "contains a line break"
    try:
        value.encode("utf-16-le")
    except UnicodeEncodeError:
        return "contains an unpaired surrogate"
    return None


def stamp_problem(stamp):
    if stamp == "":
        return "empty"
    if any(ord(c) < 0x20 or ord(c) == 0x7F for c in stamp):
        return "contains a line break or control character"
    return None


def utf16_units(text):
    return len(text.encode("utf-16-le", "surrogatepass")) // 2


def bmp_problem(data):
    """Why the bytes are not a 24-bit uncompressed BMP of the picture size."""
    if len(data) < 54 or data[:2] != b"BM":
        return "not a BMP file"
    offset, info_size = struct.unpack_from("<II", data, 10)
    if info_size < 40:
        return "old BMP header (OS/2), not a Windows BMP"
    width, height, planes, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits != 24:
        return f"{bits}-bit, not 24-bit"
    if compression != 0:
        return "compressed, not plain RGB"
    if (width, abs(height)) != PICTURE_SIZE:
        return f"{width}x{abs(height)}, not {PICTURE_SIZE[0]}x{PICTURE_SIZE[1]}"
    row = (width * 3 + 3) & ~3
    if len(data) < offset + row * abs(height):
        return "truncated pixel data"
    return None


def sha256_file(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


MSI_SIGNATURE_STREAM = "\x05DigitalSignature".encode("utf-16-le")


def unsigned_installer(path):
    """True for a Windows program or an MSI that carries no Authenticode
    signature (a build of Pelmora with a publisher refuses it); False for a
    signed one and for anything else, which this cannot tell."""
    with open(path, "rb") as f:
        head = f.read(4096)
        if head.startswith(b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1"):  # an MSI: its stream named so
            f.seek(0)
            return MSI_SIGNATURE_STREAM not in f.read()
        if not head.startswith(b"MZ") or len(head) < 64:
            return False
        f.seek(struct.unpack_from("<I", head, 0x3C)[0])
        pe = f.read(24 + 112 + 5 * 8)
    if len(pe) < 26 or pe[:4] != b"PE\0\0":
        return False
    # The optional header's fifth data directory: the certificate table.
    directories = {0x10B: 96, 0x20B: 112}.get(struct.unpack_from("<H", pe, 24)[0])
    if directories is None or len(pe) < 24 + directories + 5 * 8:
        return False
    return struct.unpack_from("<II", pe, 24 + directories + 4 * 8)[1] == 0


def first_text_line(data):
    """The first line as Pelmora's text reads give it (CR LF or LF ends it)."""
    line = data.split(b"\n", 1)[0]
    return line[:-1] if line.endswith(b"\r") else line


def parse_header(header):
    """The freshness fields of the catalogue's header line: {'serial': int,
    'expires': date}; unknown fields are ignored. Raises ValueError."""
    found = {}
    for field in header.rstrip("\r").split(","):
        key, equals, value = field.partition("=")
        if not equals:
            continue
        if key == "serial":
            if not re.fullmatch(r"[0-9]{1,18}", value):
                raise ValueError(f"serial {value!r} is not a decimal number")
            found["serial"] = int(value)
        elif key == "expires":
            try:
                found["expires"] = datetime.date.fromisoformat(value)
            except ValueError:
                raise ValueError(f"expires {value!r} is not a date YYYY-MM-DD") from None
    return found


def catalogue_lines(text):
    """(line number, line) of every non-empty line; numbers count every LF."""
    return [(n, line) for n, line in enumerate(text.split("\n"), 1) if line]


# ---------------------------------------------------------------- build

class Release:
    """A checked description: everything the tree is written from."""

    def __init__(self, path):
        self.source = Path(path)
        self.folder = self.source.resolve().parent
        try:
            self.data = json.loads(self.source.read_text(encoding="utf-8"))
        except (OSError, ValueError) as e:
            raise Refused([f"{path}: cannot read the description: {e}"])
        self.problems = []
        self.check()
        if self.problems:
            raise Refused(self.problems)

    def refuse(self, where, field, why):
        self.problems.append(f"{where}: {field}: {why}")

    def file(self, where, field, value, required=True):
        if value is None:
            if required:
                self.refuse(where, field, "missing")
            return None
        if not isinstance(value, str) or not value:
            self.refuse(where, field, "not a file name")
            return None
        path = self.folder / value
        if not path.is_file():
            self.refuse(where, field, f"file not found: {path}")
            return None
        return path

    def check(self):
        d = self.data
        if not isinstance(d, dict):
            self.problems.append("description: not a JSON object")
            return
        base = d.get("base_url")
        if not isinstance(base, str) or not re.match(r"https?://[^/]+/(.*/)?tools/$", base):
            self.refuse("release", "base_url", "must be an http:// or https:// URL ending in /tools/")
            base = "http://invalid/tools/"
        self.base_url = base

        self.serial = d.get("serial")
        if self.serial is not None and (not isinstance(self.serial, int) or isinstance(
                self.serial, bool) or not 0 <= self.serial < 10 ** 18):
            self.refuse("release", "serial", "must be a whole number, 0 or more")
        self.expires = d.get("expires")
        if self.expires is not None:
            try:
                datetime.date.fromisoformat(self.expires)
            except (TypeError, ValueError):
                self.refuse("release", "expires", "must be a date YYYY-MM-DD")

        self.check_pelmora(d.get("pelmora"))
        self.check_databases(d.get("databases"))
        self.without_installers = d.get("without_installers") is True
        tools = d.get("tools")
        if not isinstance(tools, list) or not tools:
            self.refuse("release", "tools", "must be a non-empty list")
            tools = []
        if len(tools) > MAX_TOOLS:
            self.refuse("release", "tools", f"{len(tools)} tools, Pelmora reads at most {MAX_TOOLS}")
        self.tools = []
        seen = {}
        for index, tool in enumerate(tools, 1):
            checked = self.check_tool(index, tool)
            if not checked:
                continue
            key = checked["english"].upper()
            if key in seen:
                self.refuse(checked["where"], "names.english",
                            f"same folder name as tool {seen[key]} (letter case does not count)")
            seen[key] = index
            self.tools.append(checked)

    def check_pelmora(self, p):
        self.pelmora = None
        if p is None:
            self.refuse("Pelmora", "pelmora", "missing (the self-version file is required)")
            return
        if not isinstance(p, dict):
            self.refuse("Pelmora", "pelmora", "must be an object")
            return
        version = p.get("version")
        if not isinstance(version, str) or not version:
            self.refuse("Pelmora", "version", "empty")
        elif "v" in version:
            self.refuse("Pelmora", "version",
                        f"{version!r} contains a lower-case 'v', where Pelmora.txt's version ends")
        elif any(ord(c) < 0x20 or ord(c) > 0x7E for c in version):
            self.refuse("Pelmora", "version", "must be printable ASCII on one line")
        note = p.get("note", "")
        if not isinstance(note, str) or "v" in note or any(ord(c) < 0x20 or ord(c) > 0x7E
                                                           for c in note):
            self.refuse("Pelmora", "note", "must be printable ASCII without a lower-case 'v'")
        installer = self.file("Pelmora", "installer", p.get("installer"), required=False)
        msi = self.file("Pelmora", "msi", p.get("msi"), required=False)
        args = self.silent_args("Pelmora", p.get("silent_args", DEFAULT_SILENT_ARGS))
        self.pelmora = {"version": version, "note": note, "installer": installer,
                        "silent_args": args, "msi": msi}

    def silent_args(self, where, value):
        """An installer's silent arguments: printable text on one line."""
        if not isinstance(value, str) or not value.strip() or len(value) > MAX_SILENT_ARGS \
                or any(ord(c) < 0x20 or ord(c) == 0x7F for c in value):
            self.refuse(where, "silent_args", f"must be text of 1 to {MAX_SILENT_ARGS} "
                        "characters on one line")
            return DEFAULT_SILENT_ARGS
        return value

    def check_databases(self, db):
        self.databases = None
        if db is None:
            return
        if not isinstance(db, dict):
            self.refuse("databases", "databases", "must be an object")
            return
        files = {r: self.file("databases", r, db.get(r)) for r in REGIONS}
        stamp = db.get("stamp")
        if stamp is not None and (not isinstance(stamp, str) or stamp_problem(stamp)):
            self.refuse("databases", "stamp", stamp_problem(stamp) if isinstance(stamp, str)
                        else "must be text")
        self.databases = {"files": files, "stamp": stamp}

    def check_tool(self, index, tool):
        if not isinstance(tool, dict):
            self.refuse(f"tool {index}", "tool", "must be an object")
            return None
        names = tool.get("names") if isinstance(tool.get("names"), dict) else {}
        english = names.get("english")
        where = f"tool {index} ({english})" if isinstance(english, str) and english else \
            f"tool {index}"
        t = {"where": where, "index": index}

        tid = tool.get("id")
        if not isinstance(tid, int) or isinstance(tid, bool):
            self.refuse(where, "id", "must be a whole number")
            tid = 0
        elif tid <= 0:
            self.refuse(where, "id", "must be 1 or more (0 and below skip install detection)")
        t["id"] = tid
        for key in NAME_FIELDS:
            value = names.get(key)
            if not isinstance(value, str):
                self.refuse(where, f"names.{key}", "missing")
                value = ""
            elif field_problem(value):
                self.refuse(where, f"names.{key}", field_problem(value))
            t[key] = value
        if t["english"] and not field_problem(t["english"]) and name_problem(t["english"]):
            self.refuse(where, "names.english",
                        f"unsafe as a folder name: {name_problem(t['english'])}")
        version = tool.get("version")
        if not isinstance(version, str):
            self.refuse(where, "version", "missing")
            version = ""
        elif field_problem(version):
            self.refuse(where, "version", field_problem(version))
        t["version"] = version
        offered = tool.get("offered")
        if not isinstance(offered, bool):
            self.refuse(where, "offered", "must be true or false")
        t["offered"] = offered is True

        pictures = tool.get("pictures")
        t["pictures"] = {}
        if not isinstance(pictures, str) or not (self.folder / pictures).is_dir():
            self.refuse(where, "pictures", "must name a folder holding "
                        + ", ".join(f"{p}.bmp" for p in PICTURES))
        else:
            for p in PICTURES:
                path = self.folder / pictures / f"{p}.bmp"
                if not path.is_file():
                    self.refuse(where, f"pictures {p}.bmp", f"file not found: {path}")
                    continue
                problem = bmp_problem(path.read_bytes())
                if problem:
                    self.refuse(where, f"pictures {p}.bmp", problem)
                t["pictures"][p] = path
        stamp = tool.get("image_stamp")
        if stamp is not None and (not isinstance(stamp, str) or stamp_problem(stamp)):
            self.refuse(where, "image_stamp", stamp_problem(stamp) if isinstance(stamp, str)
                        else "must be text")
        t["image_stamp"] = stamp

        installers = tool.get("installers")
        t["installers"] = {}
        if installers is None and self.data.get("without_installers") is True:
            pass
        elif not isinstance(installers, dict):
            self.refuse(where, "installers", "missing (an object naming setup.exe and "
                        "setup_light.exe)")
        else:
            for name in installers:
                if name not in INSTALLERS:
                    self.refuse(where, f"installers {name}", "unknown installer name")
            for name in INSTALLERS:
                path = self.file(where, f"installers {name}", installers.get(name))
                if path:
                    t["installers"][name] = path
        given = tool.get("silent_args", {})
        if not isinstance(given, dict) or any(name not in INSTALLERS for name in given):
            self.refuse(where, "silent_args", "must be an object naming setup.exe and/or "
                        "setup_light.exe")
            given = {}
        t["silent_args"] = {name: self.silent_args(where, given.get(name, DEFAULT_SILENT_ARGS))
                            for name in INSTALLERS}
        t["release_note"] = self.file(where, "release_note", tool.get("release_note"),
                                      required=False)

        # The version names the installers' folder: a catalogue and the installers it
        # names never change apart, whatever a cache holds of either.
        if version and not field_problem(version) and name_problem(version):
            self.refuse(where, "version", f"unsafe as a folder name (it names the installers' "
                        f"folder): {name_problem(version)}")
        t["image_location"] = url_form(f"{self.base_url}images/{t['english']}")
        t["package_locations"] = [url_form(f"{self.base_url}{package_folder(r, t)}")
                                  for r in REGIONS]
        for title, value in zip(FIELD_TITLES[7:], [t["image_location"], *t["package_locations"]]):
            if t["english"] and field_problem(value):
                self.refuse(where, title, f"{value!r} {field_problem(value)}")
        t["digests"] = {name: sha256_file(path) for name, path in t["installers"].items()}
        line = catalogue_line(t)
        if utf16_units(line) > MAX_LINE_CHARS:
            self.refuse(where, "line", f"{utf16_units(line)} characters, Pelmora reads "
                        f"{MAX_LINE_CHARS} (shorten the names or the base URL)")
        return t

    def header(self):
        fields = [HEADER]
        if self.serial is not None:
            fields.append(f"serial={self.serial}")
        if self.expires is not None:
            fields.append(f"expires={self.expires}")
        return ",".join(fields)


def package_folder(region, t):
    """A tool's installers (and in "hq" its release note), below the base URL."""
    return f"packages/{region}/{t['english']}/{t['version']}"


def catalogue_line(t):
    fields = [str(t["id"]), t["korean"], t["english"], t["chinese"], t["japanese"],
              t["version"], "TRUE" if t["offered"] else "FALSE", t["image_location"],
              *t["package_locations"]]
    fields += [f"{name}=sha256:{t['digests'][name]}" for name in INSTALLERS
               if name in t["digests"]]
    return ",".join(fields)


def catalogue_bytes(release):
    # LF line ends: a CR would stay in the line's last field.
    text = "".join(line + "\n" for line in [release.header()]
                   + [catalogue_line(t) for t in release.tools])
    data = b"\xff\xfe" + text.encode("utf-16-le")
    if len(data) > MAX_CATALOGUE_BYTES:
        raise Refused([f"release: catalogue: {len(data)} bytes, Pelmora reads "
                       f"{MAX_CATALOGUE_BYTES}"])
    return data


def self_version_bytes(release):
    p = release.pelmora
    line = f"Pelmora v{p['version']}v{p['note']}"
    if p["installer"]:
        # After the second "v": text that version readers ignore.
        line += f" sha256:{sha256_file(p['installer'])}"
    if p["msi"]:
        # What an MSI-installed Pelmora updates itself with.
        line += f" Pelmora.msi=sha256:{sha256_file(p['msi'])}"
    return (line + "\r\n").encode("ascii")


def same_bytes(a, b):
    try:
        return Path(a).read_bytes() == Path(b).read_bytes()
    except OSError:
        return False


def content_stamp(prefix, paths):
    digest = hashlib.sha256()
    for path in paths:
        data = Path(path).read_bytes()
        digest.update(len(data).to_bytes(8, "little") + data)
    return f"{prefix}{digest.hexdigest()[:16]}"


def database_stamp(release, out):
    """The database stamp to publish: the description's, else the tree's own
    when the four files are unchanged (no needless download for every user),
    else a new one derived from the contents."""
    db = release.databases
    if db["stamp"] is not None:
        return db["stamp"]
    old = out / "db_version.txt"
    if old.is_file() and all(same_bytes(db["files"][r], out / f"modelinfo_{r}.db")
                             for r in REGIONS):
        line = first_text_line(old.read_bytes()).decode("utf-8", "replace")
        if not stamp_problem(line):
            return line
    return content_stamp("db-", [db["files"][r] for r in REGIONS])


def old_image_stamps(out):
    """English name -> the tree's current picture stamp, from its catalogue's
    tools and image_version.txt in list order (offered tools only, in a tree
    from before every tool had a line)."""
    try:
        text = (out / "program_list.txt").read_bytes()[2:].decode("utf-16-le")
        stamps = (out / "image_version.txt").read_bytes().split(b"\n")
    except (OSError, UnicodeDecodeError):
        return {}
    names, offered = [], []
    for _, line in catalogue_lines(text)[1:]:
        fields = [f for f in line.split(",") if f]
        if len(fields) >= 7:
            names.append(fields[2])
            if fields[6].startswith("TRUE"):
                offered.append(fields[2])
    lines = [s.rstrip(b"\r") for s in stamps]
    if len(offered) < len(names) and len([s for s in lines if s]) == len(offered):
        names = offered
    return {name: stamp.decode("utf-8", "replace")
            for name, stamp in zip(names, lines) if stamp}


def image_stamps(release, out):
    """One line per tool, in list order: line j belongs to the j-th
    catalogue line, listed on a machine or not (a tool that is not offered is
    listed only where it is installed)."""
    old = old_image_stamps(out)
    stamps = []
    for t in release.tools:
        if t["image_stamp"] is not None:
            stamps.append(t["image_stamp"])
            continue
        folder = out / "images" / t["english"]
        previous = old.get(t["english"])
        if previous and not stamp_problem(previous) and all(
                same_bytes(t["pictures"][p], folder / f"{p}.bmp") for p in PICTURES):
            stamps.append(previous)
        else:
            stamps.append(content_stamp(f"{t['english']}-",
                                        [t["pictures"][p] for p in PICTURES]))
    return stamps


def write_file(target, data):
    """Replaces the file whole, so a reader never sees half of it."""
    target.parent.mkdir(parents=True, exist_ok=True)
    fd, temp = tempfile.mkstemp(dir=target.parent, prefix=f".{target.name}.")
    with os.fdopen(fd, "wb") as f:
        f.write(data)
    os.chmod(temp, 0o644)
    os.replace(temp, target)


def copy_file(source, target):
    # Copied beside the target, then renamed over it: a reader (a server
    # serving the origin) gets the old file or the new one, never part of
    # either. An unchanged file keeps its date, so servers keep its ETag and
    # interrupted downloads of it can resume.
    if same_bytes(source, target):
        return
    target.parent.mkdir(parents=True, exist_ok=True)
    fd, temp = tempfile.mkstemp(dir=target.parent, prefix=f".{target.name}.")
    os.close(fd)
    shutil.copyfile(source, temp)
    os.chmod(temp, 0o644)
    os.replace(temp, target)


def release_files(release, out):
    """(URL, file) of every file Pelmora may fetch for this release: the URL
    as Pelmora fetches it (below the base URL: relative to it)."""
    files = [("Pelmora.txt", out / "Pelmora.txt"), ("program_list.txt", out / "program_list.txt"),
             ("image_version.txt", out / "image_version.txt")]
    if release.pelmora["installer"]:
        files.append(("Pelmora/setup.exe", out / "Pelmora" / "setup.exe"))
    if release.pelmora["msi"]:
        files.append(("Pelmora/Pelmora.msi", out / "Pelmora" / "Pelmora.msi"))
    if release.databases:
        files.append(("db_version.txt", out / "db_version.txt"))
        files += [(f"modelinfo_{r}.db", out / f"modelinfo_{r}.db") for r in REGIONS]
    for t in release.tools:
        files += [(f"{t['image_location']}/{p}.bmp", t["pictures"][p]) for p in PICTURES]
        for location in t["package_locations"]:
            files += [(f"{location}/{name}", path) for name, path in t["installers"].items()]
        if t["release_note"]:
            files.append((f"{t['package_locations'][0]}/ReleaseNote.txt", t["release_note"]))
    base = release.base_url
    return [(url[len(base):] if url.startswith(base) else url, path) for url, path in files]


def manifest_bytes(release, out, immutable=False):
    """The release manifest (docs/formats.md, "The release manifest"); with
    `immutable`, the line that says where every file's immutable copy lies
    (release.signed carries it; release.txt stays as Pelmoras read it before)."""
    lines = [MANIFEST_FORMAT, f"serial {release.serial}", f"expires {release.expires}"]
    for url, path in release_files(release, out):
        lines.append(f"{Path(path).stat().st_size} {sha256_file(path)} {url}")
    for url, args in installer_args(release):
        lines.append(f"args {escape_args(args)} {url}")
    if immutable:
        lines.append(f"immutable {IMMUTABLE}/")
    return ("\n".join(lines) + "\n").encode("utf-8")


def signed_manifest_bytes(manifest, signature):
    return manifest + b"signature " + signature.hex().encode("ascii") + b"\n"


def split_signed_manifest(data):
    """(manifest, signature) of release.signed's bytes; raises ValueError."""
    head, _, line = data[:-1].rpartition(b"\n")
    if not data.endswith(b"\n") or not head or not re.fullmatch(rb"signature [0-9a-f]{128}", line):
        raise ValueError("its last line is not 'signature <128 hex digits>'")
    return head + b"\n", bytes.fromhex(line[len(b"signature "):].decode("ascii"))


def write_immutable_copies(release, out):
    """Every listed file below the base URL also as by-digest/<sha256>."""
    for url, path in release_files(release, out):
        if not re.match(r"(?i)https?://", url):
            copy_file(path, out / IMMUTABLE / sha256_file(path))


def escape_args(args):
    return args.replace("%", "%25").replace(" ", "%20")


def installer_args(release):
    """(URL, silent arguments) of every installer the manifest lists."""
    pairs = []
    if release.pelmora["installer"]:
        pairs.append(("Pelmora/setup.exe", release.pelmora["silent_args"]))
    for t in release.tools:
        for location in t["package_locations"]:
            pairs += [(f"{location}/{name}", t["silent_args"][name]) for name in t["installers"]]
    base = release.base_url
    # "/S" is what Pelmora uses without a line; leaving it out keeps the manifest
    # readable by Pelmoras from before "args" lines, unless a release needs them.
    return [(url[len(base):] if url.startswith(base) else url, args) for url, args in pairs
            if args != DEFAULT_SILENT_ARGS]


def read_manifest(data):
    """(serial, expires, [(line, size, sha256, url)]) of a manifest's bytes;
    raises ValueError naming the line that does not read."""
    text = data.decode("utf-8")
    if not text.endswith("\n"):
        raise ValueError("its last line has no line end")
    lines = text[:-1].split("\n")
    if lines[0] != MANIFEST_FORMAT:
        raise ValueError(f"line 1: not {MANIFEST_FORMAT!r}")
    serial = re.fullmatch(r"serial ([0-9]{1,18})", lines[1] if len(lines) > 1 else "")
    if not serial:
        raise ValueError("line 2: not 'serial <number>'")
    try:
        expires = datetime.date.fromisoformat(lines[2][len("expires "):]) \
            if len(lines) > 2 and lines[2].startswith("expires ") else None
    except ValueError:
        expires = None
    if not expires:
        raise ValueError("line 3: not 'expires YYYY-MM-DD'")
    entries = []
    for number, line in enumerate(lines[3:], 4):
        if MANIFEST_ARGS.match(line) or (MANIFEST_KEYWORD.match(line) and not
                                         MANIFEST_ENTRY.match(line)):
            continue  # an installer's arguments, or a kind of line of a later release
        match = MANIFEST_ENTRY.match(line)
        if not match or any(ord(c) < 0x20 or ord(c) == 0x7F for c in line) or line.endswith(" "):
            raise ValueError(f"line {number}: not '<size> <sha256> <url>'")
        entries.append((number, int(match.group(1)), match.group(2).lower(), match.group(3)))
    return int(serial.group(1)), expires, entries


def refuse_republished_versions(release, out):
    """A published version's installers never change: a cache may hold them, and
    a catalogue with the new digests beside them would fail every install."""
    problems = []
    for t in release.tools:
        for name, path in t["installers"].items():
            published = out / package_folder("hq", t) / name  # every region holds the same
            if published.is_file() and not same_bytes(path, published):
                problems.append(f"{t['where']}: installers {name}: version {t['version']} is "
                                f"published with other bytes ({published}); give the tool a "
                                "new version")
    if problems:
        raise Refused(problems)


def build(description, out, key_path=None):
    release = Release(description)
    out = Path(out)
    key = None
    if key_path:
        if Path(key_path).resolve().is_relative_to(out.resolve()):
            raise Refused([f"release: --key: {key_path} is inside the tree; the private key "
                           "must never be published"])
        key = load_private_key(key_path)
        missing = [f for f in ("serial", "expires") if getattr(release, f) is None]
        if missing:
            raise Refused([f"release: {f}: missing (a signed release needs it: Pelmora refuses "
                           "replayed and expired releases by it)" for f in missing])
    catalogue = catalogue_bytes(release)
    refuse_republished_versions(release, out)
    out.mkdir(parents=True, exist_ok=True)
    # Stamps are decided against the tree as it was, before anything is copied.
    db_stamp = database_stamp(release, out) if release.databases else None
    stamps = image_stamps(release, out)

    # What the text files point at goes first, the text files after it.
    if release.pelmora["installer"]:
        copy_file(release.pelmora["installer"], out / "Pelmora" / "setup.exe")
    if release.pelmora["msi"]:
        copy_file(release.pelmora["msi"], out / "Pelmora" / "Pelmora.msi")
    if release.databases:
        for r in REGIONS:
            copy_file(release.databases["files"][r], out / f"modelinfo_{r}.db")
    for t in release.tools:
        for p in PICTURES:
            copy_file(t["pictures"][p], out / "images" / t["english"] / f"{p}.bmp")
        for r in REGIONS:
            for name, path in t["installers"].items():
                copy_file(path, out / package_folder(r, t) / name)
        if t["release_note"]:
            copy_file(t["release_note"], out / package_folder("hq", t) / "ReleaseNote.txt")
    if db_stamp is not None:
        write_file(out / "db_version.txt", (db_stamp + "\r\n").encode("utf-8"))
    write_file(out / "image_version.txt", "".join(s + "\r\n" for s in stamps).encode("utf-8"))
    write_file(out / "program_list.txt", catalogue)
    write_file(out / "Pelmora.txt", self_version_bytes(release))

    for name in OLD_SIGNED_FILES:
        (out / f"{name}.sig").unlink(missing_ok=True)  # the manifest vouches for them now
    # Last of all: the manifest, once every file it lists is in place.
    manifest, signature = out / MANIFEST, out / f"{MANIFEST}.sig"
    signed = out / SIGNED_MANIFEST
    if release.serial is not None and release.expires is not None:
        write_immutable_copies(release, out)
        write_file(manifest, manifest_bytes(release, out))
    else:
        manifest.unlink(missing_ok=True)  # it would list another release
    if key:
        write_file(signature, sign(key, manifest.read_bytes()))
        whole = manifest_bytes(release, out, immutable=True)
        write_file(signed, signed_manifest_bytes(whole, sign(key, whole)))
    else:
        signature.unlink(missing_ok=True)
        signed.unlink(missing_ok=True)
    return release


# ---------------------------------------------------------------- signatures

def crypto():
    try:
        from cryptography.hazmat.primitives import hashes, serialization
        from cryptography.hazmat.primitives.asymmetric import ec, utils
    except ImportError:
        sys.exit(f"{TOOL}: signing needs the cryptography package: run with /usr/bin/python3 "
                 "(Debian's python3-cryptography)")
    return hashes, serialization, ec, utils


def load_private_key(path):
    hashes, serialization, ec, _ = crypto()
    try:
        key = serialization.load_pem_private_key(Path(path).read_bytes(), password=None)
    except (OSError, ValueError, TypeError) as e:
        raise Refused([f"release: --key: cannot read {path}: {e}"])
    if not isinstance(key, ec.EllipticCurvePrivateKey) or key.curve.name != "secp256r1":
        raise Refused([f"release: --key: {path} is not an ECDSA P-256 private key"])
    return key


def public_key_hex(key):
    numbers = key.public_key().public_numbers()
    return (numbers.x.to_bytes(32, "big") + numbers.y.to_bytes(32, "big")).hex()


def sign(key, data):
    """ECDSA P-256 over SHA-256 of the bytes, as the raw 64-byte r||s."""
    hashes, _, ec, utils = crypto()
    r, s = utils.decode_dss_signature(key.sign(data, ec.ECDSA(hashes.SHA256())))
    return r.to_bytes(32, "big") + s.to_bytes(32, "big")


def verify(public_hex, data, signature):
    hashes, _, ec, utils = crypto()
    from cryptography.exceptions import InvalidSignature
    raw = bytes.fromhex(public_hex)
    if len(raw) != 64 or len(signature) != SIGNATURE_BYTES:
        return False
    try:
        public = ec.EllipticCurvePublicKey.from_encoded_point(ec.SECP256R1(), b"\x04" + raw)
        der = utils.encode_dss_signature(int.from_bytes(signature[:32], "big"),
                                         int.from_bytes(signature[32:], "big"))
        public.verify(der, data, ec.ECDSA(hashes.SHA256()))
        return True
    except (InvalidSignature, ValueError):
        return False


def keygen(key_path, public_path):
    _, serialization, ec, _ = crypto()
    key_path, public_path = Path(key_path), Path(public_path)
    for path in (key_path, public_path):
        if path.exists():
            raise Refused([f"keygen: {path} exists; not overwritten"])
    key = ec.generate_private_key(ec.SECP256R1())
    pem = key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                            serialization.NoEncryption())
    fd = os.open(key_path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    with os.fdopen(fd, "wb") as f:
        f.write(pem)
    public_path.write_text(public_key_hex(key) + "\n")
    return public_key_hex(key)


# ---------------------------------------------------------------- lint

class Lint:
    def __init__(self, tree, public_hex=None):
        self.tree = Path(tree)
        self.public_hex = public_hex
        self.problems = []
        self.expected = {}  # tree path -> (file, line, digest) of what Pelmora may fetch
        self.catalogue_serial = None

    def report(self, file, line, text):
        problem = f"{file}:{line}: {text}" if line else f"{file}: {text}"
        if problem not in self.problems:
            self.problems.append(problem)

    def tree_path(self, url):
        """The file below the tree that a location names: the part of its path
        after "/tools/". None for a location elsewhere."""
        path = re.sub(r"^https?://[^/]*", "", url)
        head, found, rest = path.partition("/tools/")
        return self.tree / urllib.parse.unquote(rest) if found else None

    def run(self):
        tools = self.catalogue()
        self.self_version()
        self.databases()
        self.image_stamps(tools)
        for name in ("Pelmora.txt", "program_list.txt", "image_version.txt"):
            self.expect(name, name, 0)
        self.manifest()
        for name in OLD_SIGNED_FILES:
            if (self.tree / f"{name}.sig").exists():
                self.report(f"{name}.sig", 0, "left over: only the release manifest is signed")
        return self.problems

    def catalogue(self):
        name = "program_list.txt"
        try:
            data = (self.tree / name).read_bytes()
        except OSError:
            self.report(name, 0, "missing")
            return []
        if len(data) > MAX_CATALOGUE_BYTES:
            self.report(name, 0, f"{len(data)} bytes; Pelmora reads the first {MAX_CATALOGUE_BYTES}")
        if not data.startswith(b"\xff\xfe"):
            self.report(name, 1, "no UTF-16LE byte-order mark: not a UTF-16LE file?")
        if len(data) % 2:
            self.report(name, 0, "odd number of bytes: not UTF-16")
        text = data[:len(data) & ~1].decode("utf-16-le", "surrogatepass").lstrip("\ufeff")
        lines = catalogue_lines(text)
        if not lines:
            self.report(name, 0, "empty")
            return []
        number, header = lines[0]
        try:
            fresh = parse_header(header)
            self.catalogue_serial = fresh.get("serial")
            today = datetime.datetime.now(datetime.timezone.utc).date()
            if "expires" in fresh and fresh["expires"] < today:
                self.report(name, number, f"header: expired on {fresh['expires']}")
        except ValueError as e:
            self.report(name, number, f"header: {e}")
        programs = lines[1:]
        if len(programs) > MAX_TOOLS:
            self.report(name, programs[MAX_TOOLS][0],
                        f"more than {MAX_TOOLS} program lines: this and later lines are never read")
        tools, seen = [], {}
        for number, line in programs[:MAX_TOOLS]:
            tool = self.program_line(name, number, line)
            if tool:
                key = tool["english"].upper()
                if key in seen:
                    self.report(name, number, f"{tool['english']}: same folder name as line "
                                f"{seen[key]}")
                seen[key] = number
                tools.append(tool)
        return tools

    def program_line(self, name, number, line):
        report = lambda text: self.report(name, number, text)  # noqa: E731
        if utf16_units(line) > MAX_LINE_CHARS:
            report(f"{utf16_units(line)} characters; Pelmora cuts the line at {MAX_LINE_CHARS}")
        if line.endswith("\r"):
            report("CR LF line end: the CR stays at the end of the last field")
            line = line[:-1]
        raw = line.split(",")
        for i, field in enumerate(raw):
            if field == "":
                where = "leading" if i == 0 else "trailing" if i == len(raw) - 1 else \
                    f"after field {len([f for f in raw[:i] if f])}"
                report(f"empty field ({where}): the later fields move one place left")
        fields = [f for f in raw if f]
        if len(fields) < 12:
            report(f"{len(fields)} fields, 12 expected")
            return None
        tool = {"english": fields[2], "version": fields[5], "offered": fields[6] == "TRUE"}
        who = fields[2]
        if not re.fullmatch(r"[0-9]+", fields[0]) or int(fields[0]) <= 0:
            report(f"{who}: id {fields[0]!r} is not a number of 1 or more")
        if fields[6] not in ("TRUE", "FALSE"):
            report(f"{who}: offered {fields[6]!r} is neither TRUE nor FALSE")
        problem = name_problem(fields[2])
        if problem:
            report(f"{who}: names.english unsafe as a folder name: {problem}")
        digests = {}
        for extra in fields[12:]:
            match = DIGEST_FIELD.match(extra)
            if not match:
                report(f"{who}: field {extra[:40]!r} after the twelfth is not an installer digest")
            elif match.group(1) in digests:
                report(f"{who}: second {match.group(1)} digest (Pelmora takes the first)")
            else:
                digests[match.group(1)] = match.group(2).lower()
        for title, location in zip(FIELD_TITLES[7:12], fields[7:12]):
            if url_form(location) != location:
                report(f"{who}: {title} has characters beyond ASCII, which Pelmora requests in "
                       f"the client's code page: write it as {url_form(location)}")
        if problem:
            return tool
        self.pictures(name, number, who, fields[7])
        for region, location in zip(REGIONS, fields[8:12]):
            self.installers(name, number, who, region, location, digests)
            self.versioned(name, number, who, region, location, fields[5])
        return tool

    def versioned(self, name, number, who, region, location, version):
        # A folder that outlives its version gets other installers under the
        # same URLs, which a cache can pair with either catalogue.
        folder = self.tree_path(location)
        expected = package_folder(region, {"english": who, "version": version})
        if folder is not None and folder.relative_to(self.tree).as_posix() != expected:
            self.report(name, number, f"{who}: {region} installers in "
                        f"{folder.relative_to(self.tree).as_posix()}, not in the folder named "
                        f"by their version ({expected}/)")

    def pictures(self, name, number, who, location):
        folder = self.tree_path(location)
        if folder is None:
            return
        shown = folder.relative_to(self.tree)
        for p in PICTURES:
            self.expect(f"{shown.as_posix()}/{p}.bmp", name, number)
        missing = [f"{p}.bmp" for p in PICTURES if not (folder / f"{p}.bmp").is_file()]
        if missing:
            self.report(name, number, f"{who}: pictures missing in {shown}: {', '.join(missing)}")
        for p in PICTURES:
            path = folder / f"{p}.bmp"
            problem = bmp_problem(path.read_bytes()) if path.is_file() else None
            if problem:
                self.report(name, number, f"{who}: picture {shown}/{p}.bmp: {problem}")

    def installers(self, name, number, who, region, location, digests):
        folder = self.tree_path(location)
        if folder is None:
            return
        shown = folder.relative_to(self.tree)
        for setup in INSTALLERS:
            self.expect(f"{shown.as_posix()}/{setup}", name, number, digests.get(setup))
        if region == "hq":
            self.expect(f"{shown.as_posix()}/ReleaseNote.txt", name, number)
        missing = [setup for setup in INSTALLERS if not (folder / setup).is_file()]
        if missing:
            self.report(name, number, f"{who}: installers missing in {shown}: {', '.join(missing)}")
        for setup in INSTALLERS:
            path = folder / setup
            if setup not in missing and setup in digests and sha256_file(path) != digests[setup]:
                self.report(name, number, f"{who}: installer {shown}/{setup} does not match the "
                            "catalogue's digest (replaced without a new catalogue?)")
            if setup not in missing and unsigned_installer(path):
                self.report(name, number, f"{who}: installer {shown}/{setup} is not signed "
                            "(docs/publishing.md: signing what Pelmora runs)")

    def first_line(self, name):
        """The file's first line, or None (reported) when it is missing."""
        try:
            return first_text_line((self.tree / name).read_bytes())
        except OSError:
            self.report(name, 0, "missing")
            return None

    def self_version(self):
        name = "Pelmora.txt"
        line = self.first_line(name)
        if line is None:
            return
        text = line.decode("latin-1")
        parts = text.split("v", 2)
        if len(parts) < 2 or not parts[1]:
            self.report(name, 1, "no version between the first and the second lower-case 'v'")
            return
        if len(parts) < 3:
            self.report(name, 1, "no second lower-case 'v': the version runs to the line's end")
            return
        setup = self.tree / "Pelmora" / "setup.exe"
        match = SELF_DIGEST.search(parts[2])
        self.expect("Pelmora/setup.exe", name, 1, match.group(1).lower() if match else None)
        if not setup.is_file():
            self.report(name, 0, "Pelmora/setup.exe missing (Pelmora downloads it to update itself)")
        elif match and sha256_file(setup) != match.group(1).lower():
            self.report(name, 1, "Pelmora/setup.exe does not match the digest in this line")
        if setup.is_file() and unsigned_installer(setup):
            self.report(name, 0, "Pelmora/setup.exe is not signed "
                        "(docs/publishing.md: signing what Pelmora runs)")
        msi = SELF_MSI_DIGEST.search(parts[2])
        if msi:
            self.expect("Pelmora/Pelmora.msi", name, 1, msi.group(1).lower())
            if not (self.tree / "Pelmora" / "Pelmora.msi").is_file():
                self.report(name, 1, "Pelmora/Pelmora.msi missing, though this line names it")
            elif sha256_file(self.tree / "Pelmora" / "Pelmora.msi") != msi.group(1).lower():
                self.report(name, 1, "Pelmora/Pelmora.msi does not match the digest in this line")
            elif unsigned_installer(self.tree / "Pelmora" / "Pelmora.msi"):
                self.report(name, 0, "Pelmora/Pelmora.msi is not signed "
                            "(docs/publishing.md: signing what Pelmora runs)")

    def databases(self):
        name = "db_version.txt"
        line = self.first_line(name)
        if line is None:
            return
        if not line:
            self.report(name, 1, "empty stamp: a new database would never be fetched")
        self.expect(name, name, 0)
        for r in REGIONS:
            self.expect(f"modelinfo_{r}.db", name, 0)
            if not (self.tree / f"modelinfo_{r}.db").is_file():
                self.report(f"modelinfo_{r}.db", 0, "missing")

    def image_stamps(self, tools):
        name = "image_version.txt"
        try:
            data = (self.tree / name).read_bytes()
        except OSError:
            self.report(name, 0, "missing")
            return
        stamps = []
        for line in data.split(b"\n"):
            line = line.rstrip(b"\r")
            if not line or len(stamps) == MAX_IMAGE_STAMPS:
                break
            stamps.append(line)
        if len(stamps) != min(len(tools), MAX_IMAGE_STAMPS):
            self.report(name, 0, f"{len(stamps)} stamps before the first empty line, but "
                        f"{len(tools)} tools in the catalogue (one line per tool, in list order)")

    def expect(self, relative, file, line, digest=None):
        """A file Pelmora may fetch, which the manifest must list (with the
        digest the catalogue or Pelmora.txt gives it, when they give one)."""
        if relative is not None and (self.tree / relative).is_file():
            self.expected.setdefault(relative, (file, line, digest))

    def manifest(self):
        path, sig = self.tree / MANIFEST, self.tree / f"{MANIFEST}.sig"
        if not path.is_file():
            if sig.exists() or self.public_hex:
                self.report(MANIFEST, 0, "missing (a signed release is its manifest)")
            return
        try:
            serial, expires, entries = read_manifest(path.read_bytes())
        except (ValueError, UnicodeDecodeError) as e:
            self.report(MANIFEST, 0, f"does not read: {e}")
            return
        if expires < datetime.datetime.now(datetime.timezone.utc).date():
            self.report(MANIFEST, 3, f"expired on {expires}")
        if self.catalogue_serial is not None and self.catalogue_serial != serial:
            self.report(MANIFEST, 2, f"serial {serial}, but the catalogue's header says "
                        f"{self.catalogue_serial}")
        listed = {}
        for number, size, digest, url in entries:
            target = self.tree_path(url) if re.match(r"(?i)https?://", url) else \
                self.tree / urllib.parse.unquote(url)
            if target is None:
                continue  # on another host
            relative = target.relative_to(self.tree).as_posix()
            if relative in listed:
                self.report(MANIFEST, number, f"{url}: listed twice")
            listed[relative] = (number, digest)
            if not target.is_file():
                self.report(MANIFEST, number, f"{url}: not in the tree")
            elif target.stat().st_size != size or sha256_file(target) != digest:
                self.report(MANIFEST, number, f"{url}: changed after publishing (its size or "
                            "SHA-256 is not the manifest's)")
        for relative, (file, line, digest) in self.expected.items():
            if relative not in listed:
                self.report(file, line, f"{relative} is not in {MANIFEST}: a Pelmora with the "
                            "maker's key does not fetch it")
            elif digest and listed[relative][1] != digest:
                self.report(MANIFEST, listed[relative][0], f"{relative}: SHA-256 disagrees with "
                            f"the digest in {file}")
        self.signed_manifest(entries)
        if not sig.is_file():
            if self.public_hex:
                self.report(f"{MANIFEST}.sig", 0, "missing")
            return
        signature = sig.read_bytes()
        if len(signature) != SIGNATURE_BYTES:
            self.report(f"{MANIFEST}.sig", 0, f"{len(signature)} bytes, {SIGNATURE_BYTES} expected")
        elif self.public_hex and not verify(self.public_hex, path.read_bytes(), signature):
            self.report(f"{MANIFEST}.sig", 0, f"does not verify {MANIFEST} with the public key")


    def signed_manifest(self, pair_entries):
        """release.signed: the same files as release.txt, each with its
        immutable copy in place, and (with the key) the maker's signature."""
        path = self.tree / SIGNED_MANIFEST
        if not path.is_file():
            if self.public_hex:
                self.report(SIGNED_MANIFEST, 0, "missing (Pelmora takes the manifest from it)")
            return
        try:
            data, signature = split_signed_manifest(path.read_bytes())
            _, _, entries = read_manifest(data)
        except (ValueError, UnicodeDecodeError) as e:
            self.report(SIGNED_MANIFEST, 0, f"does not read: {e}")
            return
        if self.public_hex and not verify(self.public_hex, data, signature):
            self.report(SIGNED_MANIFEST, 0, "its signature does not verify with the public key")
        if [e[1:] for e in entries] != [e[1:] for e in pair_entries]:
            self.report(SIGNED_MANIFEST, 0, f"lists other files than {MANIFEST}")
        folder = re.search(r"^immutable (\S+)$", data.decode("utf-8"), re.M)
        for number, size, digest, url in entries if folder else []:
            copy = self.tree / urllib.parse.unquote(folder.group(1)) / digest
            listed = copy.is_file() and copy.stat().st_size == size and sha256_file(copy) == digest
            if not re.match(r"(?i)https?://", url) and not listed:
                self.report(SIGNED_MANIFEST, number, f"{url}: no immutable copy as listed at "
                            f"{copy.relative_to(self.tree).as_posix()}")


def lint(tree, public_hex=None):
    return Lint(tree, public_hex).run()


# ---------------------------------------------------------------- deploy

def deploy_order(built):
    """The built tree's files (relative paths) in the order they go onto the
    origin: the immutable copies, then the fixed names (what the text files
    point at before the text files), the manifests last, the one file last of all."""
    files = sorted(p.relative_to(built).as_posix() for p in built.rglob("*")
                   if p.is_file() and not p.name.startswith("."))
    last = [f"{MANIFEST}", f"{MANIFEST}.sig", SIGNED_MANIFEST]
    text = {"Pelmora.txt", "program_list.txt", "db_version.txt", "image_version.txt"}

    def rank(name):
        if name.startswith(f"{IMMUTABLE}/"):
            return 0
        if name in last:
            return 3 + last.index(name)
        return 2 if name in text else 1
    return sorted(files, key=lambda name: (rank(name), name))


def deploy(built, target, keep=3, grace_hours=24.0, now=None):
    """Puts the tree `build` wrote onto the origin `target` in a safe order,
    records the release, and prunes immutable copies no release still needs.
    Returns the pruned names. Refuses a target another deploy holds."""
    built, target = Path(built), Path(target)
    now = time.time() if now is None else now
    if not (built / MANIFEST).is_file():
        raise Refused([f"deploy: {built}: no {MANIFEST} (build it with serial and expires)"])
    target.mkdir(parents=True, exist_ok=True)
    lock = target / LOCK
    try:
        fd = os.open(lock, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
    except FileExistsError:
        raise Refused([f"deploy: {target}: held by another publish ({lock} says: "
                       f"{lock.read_text(errors='replace').strip()}); remove it only when that "
                       "publish is known to have ended"]) from None
    with os.fdopen(fd, "w") as f:
        f.write(f"pid {os.getpid()} since {datetime.datetime.fromtimestamp(now).isoformat()}\n")
    try:
        order = deploy_order(built)
        changed = [name for name in order if VERSIONED_INSTALLER.match(name)
                   and (target / name).is_file() and not same_bytes(built / name, target / name)]
        if changed:
            raise Refused([f"deploy: {target / name}: published with other bytes under the same "
                           "version; give the tool a new version" for name in changed])
        for name in order:
            copy_file(built / name, target / name)
        return prune(target, built, keep, grace_hours * 3600, now)
    finally:
        lock.unlink()


def prune(target, built, keep, grace, now):
    """Records the release just deployed; removes immutable copies that none
    of the last `keep` releases lists and that no release current within
    `grace` seconds lists (a client may still hold its manifest)."""
    history_path = target / HISTORY
    try:
        history = json.loads(history_path.read_text())
    except (OSError, ValueError):
        history = []
    folder = built / IMMUTABLE
    names = sorted(p.name for p in folder.iterdir()) if folder.is_dir() else []
    serial, _, _ = read_manifest((built / MANIFEST).read_bytes())
    history.append({"serial": serial, "published": now, "immutable": names})
    kept = []
    for i, release in enumerate(history):
        replaced = history[i + 1]["published"] if i + 1 < len(history) else now
        if i >= len(history) - keep or now - replaced < grace:
            kept.append(release)
    needed = {name for release in kept for name in release["immutable"]}
    pruned = []
    held = target / IMMUTABLE
    for path in sorted(held.iterdir()) if held.is_dir() else []:
        # A copy no record names (from before the history) goes once the grace is over too.
        if path.name not in needed and now - path.stat().st_mtime >= grace:
            path.unlink()
            pruned.append(path.name)
    write_file(history_path, json.dumps(kept, indent=1).encode("utf-8"))
    return pruned


# ---------------------------------------------------------------- command line

def main(argv=None):
    parser = argparse.ArgumentParser(prog=TOOL, description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    b = commands.add_parser("build", help="write the server tree from a description")
    b.add_argument("description")
    b.add_argument("out")
    b.add_argument("--key", help="PEM private key: sign the release manifest")
    d = commands.add_parser("deploy", help="put a built tree onto the origin in a safe order")
    d.add_argument("built")
    d.add_argument("target")
    d.add_argument("--keep", type=int, default=3,
                   help="releases whose immutable copies stay (default 3)")
    d.add_argument("--grace-hours", type=float, default=24.0,
                   help="how long a replaced release's copies stay at least (default 24)")
    l_ = commands.add_parser("lint", help="check an existing tree")
    l_.add_argument("tree")
    l_.add_argument("--public-key", help="file with the public key in hex: verify signatures")
    k = commands.add_parser("keygen", help="make an ECDSA P-256 key pair")
    k.add_argument("key")
    k.add_argument("public")
    args = parser.parse_args(argv)
    try:
        if args.command == "build":
            build(args.description, args.out, args.key)
            print(f"{TOOL}: tree written to {args.out}" + (" and signed" if args.key else ""))
        elif args.command == "deploy":
            pruned = deploy(args.built, args.target, max(args.keep, 1), args.grace_hours)
            print(f"{TOOL}: {args.built} deployed to {args.target}; {len(pruned)} immutable "
                  "copies pruned")
        elif args.command == "keygen":
            keygen(args.key, args.public)
            print(f"{TOOL}: private key {args.key} (keep it off the server), public key "
                  f"{args.public}")
        else:
            public = Path(args.public_key).read_text().strip() if args.public_key else None
            problems = lint(args.tree, public)
            for problem in problems:
                print(problem)
            if problems:
                print(f"{TOOL}: {len(problems)} problem(s) in {args.tree}", file=sys.stderr)
                return 1
            print(f"{TOOL}: {args.tree} is clean")
    except Refused as refused:
        for problem in refused.problems:
            print(f"{TOOL}: refused: {problem}", file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
