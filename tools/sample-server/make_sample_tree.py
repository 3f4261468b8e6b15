#!/usr/bin/env python3
"""Writes a sample update server tree: what the maker's server publishes.

    make_sample_tree.py OUTPUT_DIR BASE_URL [options]

BASE_URL is the URL under which OUTPUT_DIR/tools/ will be served, ending in
"/tools/" (for example http://127.0.0.1:8080/tools/). The catalogue's image
and package locations are full URLs below it.

The script writes a release description with its files in OUTPUT_DIR/.release/
and hands it to the publisher (tools/publisher/publish.py), which writes the
tree. The publisher reads at most 20 tools; with --programs above 20 the
later lines are appended afterwards, as a catalogue that Pelmora must cut.

The tree (below OUTPUT_DIR/tools/):
  Pelmora.txt             self-version file, "Pelmora v<version>v20150130", with
                          " sha256:<hex>" of Pelmora/setup.exe when given
  Pelmora/setup.exe       Pelmora's own installer (--pelmora-installer)
  program_list.txt        the catalogue, UTF-16LE with a header line, with
                          installer digests when installers are built
  db_version.txt, modelinfo_{hq,amr,eur,chna}.db
  image_version.txt       one line per listed program
  images/<name>/{kr,en,cn,jp,po}.bmp   the tool's name and the language, readable
  packages/<region>/<name>/<version>/setup.exe, setup_light.exe, ReleaseNote.txt (hq)
  release.txt, .sig       with --serial and --expires: the release manifest;
                          with --key signed (lines beyond 20 programs are
                          appended after it, so a keyed Pelmora refuses them)

Options:
  --programs N            catalogue lines: the sample tools first, then
                          generated ones ("Tool 08", ...) up to N (default: the
                          sample tools only)
  --self-version V        the version in Pelmora.txt (default 1.3.2)
  --pelmora-installer F   Pelmora's installer to publish as Pelmora/setup.exe
  --pelmora-msi F         Pelmora's MSI to publish as Pelmora/Pelmora.msi
  --tool-exe F            build each tool's installers with makensis from this
                          program (the sample tool); without it no installers
  --image-stamp S         suffix of every image_version.txt line (default 1)
  --db-stamp S            first line of db_version.txt
  --offer-all             every program offered (none hidden when not installed)
  --installer-exit N=C    the tool N's installers end with exit code C (3010: done,
                          a restart is needed; 1603: failed; hang: never); repeatable
  --tool-version N=V      the tool N (English name) at version V; repeatable
  --sign-cert F, --sign-key F
                          sign every tool's installers with this certificate and
                          key (osslsigncode, tools/sign.sh)
  --signer N=CERT,KEY     the tool N's installers signed with another certificate
                          and key instead; "N=": left unsigned; repeatable
  --flip-byte N           a byte of the tool N's signed installers changed (its
                          digest in the catalogue is that of the changed file)
"""
import argparse
import json
import struct
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "publisher"))
import publish  # noqa: E402
from pixel_font import draw_text, text_width  # noqa: E402

SAMPLE_PROGRAMS = [
    # id, Korean, English, Chinese, Japanese, version, offered, executable
    (1, "할벡스", "Halvex", "哈尔维克斯", "ハルベックス", "2.4.1", "TRUE", "Halvexer.exe"),
    (2, "쿼린", "Quorin", "奎林", "クオリン", "1.8.0", "TRUE", "Quorin.exe"),
    (3, "핀드랄", "Pindral", "品德拉", "ピンドラル", "3.0.2", "TRUE", "Pindrals.exe"),
    (4, "스트렌나", "Strenna", "斯特伦纳", "ストレンナ", "1.1.7", "TRUE", "Strenna.exe"),
    (5, "베디마르", "Veddimar", "维迪马尔", "ベディマール", "5.2.0", "TRUE", "Veddimar.exe"),
    # Not offered: listed only where it is installed already.
    (6, "레거시 브리지", "Legacy Bridge", "旧版桥", "レガシーブリッジ", "0.7.4", "FALSE",
     "Legacy Bridge.exe"),
    (7, "모델 뷰어", "Model Viewer", "模型查看器", "モデルビューア", "0.9.3", "TRUE",
     "Model Viewer.exe"),
]
REGIONS = ["hq", "amr", "eur", "chna"]
LANGUAGES = {"kr": ("KOREAN", (200, 60, 60)), "en": ("ENGLISH", (40, 90, 170)),
             "cn": ("CHINESE", (190, 40, 40)), "jp": ("JAPANESE", (120, 120, 120)),
             "po": ("POLISH", (220, 120, 40))}
PICTURE_SIZE = (270, 260)  # what the main window shows of its picture control
HERE = Path(__file__).resolve().parent


def programs(count):
    chosen = list(SAMPLE_PROGRAMS)
    number = 8
    while count is not None and len(chosen) < count:
        name = f"Tool {number:02d}"
        chosen.append((number, f"도구 {number:02d}", name, f"工具 {number:02d}",
                       f"ツール {number:02d}", f"1.0.{number}", "TRUE", f"{name}.exe"))
        number += 1
    return chosen if count is None else chosen[:count]


def bitmap(name, language, accent):
    """A 24-bit bottom-up BMP: the tool's name and the language on a light card."""
    width, height = PICTURE_SIZE
    background = (246, 246, 250)
    pixels = [background] * (width * height)
    for y in range(height):
        for x in range(width):
            if y < 36 or y >= height - 10 or x < 6 or x >= width - 6:
                pixels[y * width + x] = accent
    scale = 3 if text_width(name, 3) <= width - 20 else 2
    draw_text(pixels, width, height, name, (width - text_width(name, scale)) // 2, 80, scale,
              (30, 30, 40))
    draw_text(pixels, width, height, language, (width - text_width(language, 2)) // 2, 150, 2,
              accent)
    draw_text(pixels, width, height, "SAMPLE", (width - text_width("SAMPLE", 2)) // 2, 11, 2,
              (255, 255, 255))
    row = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for r, g, b in pixels[y * width:(y + 1) * width]:
            line += bytes((b, g, r))
        data += line + b"\0" * (row - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + bytes(data)


def build_installer(tool_exe, name, executable, version, out, exit_code=None):
    exit_define = [] if exit_code is None else \
        ["-DHANG"] if exit_code == "hang" else [f"-DEXIT_CODE={exit_code}"]
    subprocess.run(["makensis", "-V1", f"-DNAME={name}", f"-DEXE={executable}",
                    f"-DVERSION={version}", *exit_define,
                    f"-DTOOL_EXE={Path(tool_exe).resolve()}", f"-DOUTFILE={Path(out).resolve()}",
                    str(HERE / "sample_tool.nsi")], check=True, stdout=subprocess.DEVNULL)


def sign_installer(args, name, path):
    """Signs the tool `name`'s installer as the options say, then flips a byte
    of it when asked."""
    signers = dict(args.signer or [])
    cert_key = signers[name].split(",") if name in signers else [args.sign_cert, args.sign_key]
    if all(cert_key) and len(cert_key) == 2:
        subprocess.run(["bash", str(HERE.parent / "sign.sh"), *cert_key, str(path)], check=True)
    if name in (args.flip_byte or []):
        data = bytearray(path.read_bytes())
        data[0x1000] ^= 0xFF  # in the first section: covered by the signature
        path.write_bytes(bytes(data))


def describe(args, chosen, release):
    """The release description of the sample tree (publisher format), with its
    pictures, databases, notes and installers written below `release`."""
    tools = []
    for pid, ko, en, zh, ja, version, offered, executable in chosen:
        version = dict(args.tool_version or []).get(en, version)
        pictures = release / "pictures" / en
        pictures.mkdir(parents=True, exist_ok=True)
        for file, (language, accent) in LANGUAGES.items():
            (pictures / f"{file}.bmp").write_bytes(bitmap(en, language, accent))
        note = release / "notes" / f"{en}.txt"
        note.parent.mkdir(parents=True, exist_ok=True)
        note.write_bytes(f"{en} {version}\r\n\r\nWhat is new in this version.\r\n".encode("utf-8"))
        tool = {"id": pid, "names": {"korean": ko, "english": en, "chinese": zh, "japanese": ja},
                "version": version, "offered": offered == "TRUE",
                "pictures": str(pictures), "image_stamp": f"{en}-images-{args.image_stamp}",
                "release_note": str(note)}
        if args.tool_exe:
            # The update installer does what the full one does: one build serves both.
            out = Path(args.output) / ".installers" / en / "setup.exe"
            out.parent.mkdir(parents=True, exist_ok=True)
            build_installer(args.tool_exe, en, executable, version, out,
                            dict(args.installer_exit or []).get(en))
            sign_installer(args, en, out)
            tool["installers"] = {"setup.exe": str(out), "setup_light.exe": str(out)}
        tools.append(tool)
    databases = {"stamp": args.db_stamp}
    for region in REGIONS:
        db = release / "databases" / f"modelinfo_{region}.db"
        db.parent.mkdir(parents=True, exist_ok=True)
        db.write_bytes(f"model information database, region {region}\n".encode() * 4096)
        databases[region] = str(db)
    pelmora = {"version": args.self_version, "note": "20150130"}
    if args.pelmora_installer:
        pelmora["installer"] = str(Path(args.pelmora_installer).resolve())
    if args.pelmora_msi:
        pelmora["msi"] = str(Path(args.pelmora_msi).resolve())
    description = {"base_url": args.base_url, "pelmora": pelmora, "databases": databases,
                   "without_installers": not args.tool_exe, "tools": tools}
    if args.serial is not None:
        description["serial"] = args.serial
    if args.expires:
        description["expires"] = args.expires
    return description


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    parser.add_argument("base_url")
    parser.add_argument("--programs", type=int)
    parser.add_argument("--self-version", default="1.3.2")
    parser.add_argument("--pelmora-installer")
    parser.add_argument("--pelmora-msi")
    parser.add_argument("--tool-exe")
    parser.add_argument("--image-stamp", default="1")
    parser.add_argument("--db-stamp", default="2026-12-01 model database")
    parser.add_argument("--offer-all", action="store_true")
    parser.add_argument("--installer-exit", action="append", type=lambda v: tuple(v.split("=", 1)))
    parser.add_argument("--tool-version", action="append", type=lambda v: tuple(v.split("=", 1)))
    parser.add_argument("--sign-cert")
    parser.add_argument("--sign-key")
    parser.add_argument("--signer", action="append", type=lambda v: tuple(v.split("=", 1)))
    parser.add_argument("--flip-byte", action="append")
    parser.add_argument("--key", help="the maker's private key (PEM): sign the release manifest")
    parser.add_argument("--serial", type=int, help="the release's serial number")
    parser.add_argument("--expires", help="the release's last good day, YYYY-MM-DD")
    args = parser.parse_args()
    if not args.base_url.endswith("/tools/"):
        sys.exit("BASE_URL must end in /tools/")
    tools = Path(args.output) / "tools"
    chosen = programs(args.programs)
    if args.offer_all:
        chosen = [p[:6] + ("TRUE",) + p[7:] for p in chosen]

    release = Path(args.output) / ".release"
    description = describe(args, chosen, release)
    # The publisher refuses more tools than Pelmora reads; a longer sample
    # catalogue (to test that the rest is ignored) gets its extra lines after.
    extra = description["tools"][publish.MAX_TOOLS:]
    description["tools"] = description["tools"][:publish.MAX_TOOLS]
    (release / "release.json").write_text(json.dumps(description, ensure_ascii=False, indent=1),
                                          encoding="utf-8")
    try:
        publish.build(release / "release.json", tools, args.key)
    except publish.Refused as refused:
        sys.exit("\n".join(refused.problems))
    if extra:
        append_beyond_limit(tools, args.base_url, extra)
    print(f"sample server tree written to {tools}")


def append_beyond_limit(tools, base, extra):
    lines, stamps = [], []
    for tool in extra:
        en = tool["names"]["english"]
        for file in LANGUAGES:
            publish.copy_file(Path(tool["pictures"]) / f"{file}.bmp",
                              tools / "images" / en / f"{file}.bmp")
        fields = {"id": tool["id"], **tool["names"], "version": tool["version"],
                  "offered": tool["offered"], "image_location": f"{base}images/{en}",
                  "package_locations": [
                      f"{base}{publish.package_folder(r, {'english': en, **tool})}"
                      for r in REGIONS],
                  "digests": {}}
        lines.append(publish.catalogue_line(fields) + "\n")
        stamps.append(tool["image_stamp"] + "\r\n")
    with open(tools / "program_list.txt", "ab") as f:
        f.write("".join(lines).encode("utf-16-le"))
    with open(tools / "image_version.txt", "ab") as f:
        f.write("".join(stamps).encode("utf-8"))


if __name__ == "__main__":
    main()
