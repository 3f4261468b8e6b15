#!/usr/bin/env python3
"""Writes a sample update server tree: what the maker's server publishes.

    make_sample_tree.py OUTPUT_DIR BASE_URL [options]

BASE_URL is the URL under which OUTPUT_DIR/tools/ will be served, ending in
"/tools/" (for example http://127.0.0.1:8080/tools/). The catalogue's image
and package locations are full URLs below it.

The tree (below OUTPUT_DIR/tools/):
  Pelmora.txt             self-version file, "Pelmora v<version>v20150130"
  Pelmora/setup.exe       Pelmora's own installer (--pelmora-installer)
  program_list.txt        the catalogue, UTF-16LE with a header line
  db_version.txt, modelinfo_{hq,amr,eur,chna}.db
  image_version.txt       one line per listed program
  images/<name>/{kr,en,cn,jp,po}.bmp   the tool's name and the language, readable
  packages/<region>/<name>/setup.exe, setup_light.exe, ReleaseNote.txt (hq)

Options:
  --programs N            catalogue lines: the sample tools first, then
                          generated ones ("Tool 08", ...) up to N (default: the
                          sample tools only)
  --self-version V        the version in Pelmora.txt (default 1.3.2)
  --pelmora-installer F   Pelmora's installer to publish as Pelmora/setup.exe
  --tool-exe F            build each tool's installers with makensis from this
                          program (the sample tool); without it no installers
  --image-stamp S         suffix of every image_version.txt line (default 1)
  --db-stamp S            first line of db_version.txt
  --offer-all             every program offered (none hidden when not installed)
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
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


def build_installer(tool_exe, name, executable, version, out):
    subprocess.run(["makensis", "-V1", f"-DNAME={name}", f"-DEXE={executable}",
                    f"-DVERSION={version}",
                    f"-DTOOL_EXE={Path(tool_exe).resolve()}", f"-DOUTFILE={Path(out).resolve()}",
                    str(HERE / "sample_tool.nsi")], check=True, stdout=subprocess.DEVNULL)


def publish(source, target):
    """The same bytes at another path; a hard link where the file system allows."""
    target.parent.mkdir(parents=True, exist_ok=True)
    if target.exists():
        target.unlink()
    try:
        os.link(source, target)
    except OSError:
        shutil.copyfile(source, target)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("output")
    parser.add_argument("base_url")
    parser.add_argument("--programs", type=int)
    parser.add_argument("--self-version", default="1.3.2")
    parser.add_argument("--pelmora-installer")
    parser.add_argument("--tool-exe")
    parser.add_argument("--image-stamp", default="1")
    parser.add_argument("--db-stamp", default="2026-12-01 model database")
    parser.add_argument("--offer-all", action="store_true")
    args = parser.parse_args()
    base = args.base_url
    if not base.endswith("/tools/"):
        sys.exit("BASE_URL must end in /tools/")
    tools = Path(args.output) / "tools"
    tools.mkdir(parents=True, exist_ok=True)
    chosen = programs(args.programs)
    if args.offer_all:
        chosen = [p[:6] + ("TRUE",) + p[7:] for p in chosen]

    (tools / "Pelmora.txt").write_bytes(f"Pelmora v{args.self_version}v20150130\r\n".encode())
    if args.pelmora_installer:
        publish(Path(args.pelmora_installer), tools / "Pelmora" / "setup.exe")

    lines = ["id,Korean,English,Chinese,Japanese,Version,List,Image,HQ,AMR,EUR,CHNA"]
    for pid, ko, en, zh, ja, version, offered, _ in chosen:
        image = f"{base}images/{en}"
        packages = [f"{base}packages/{region}/{en}" for region in REGIONS]
        lines.append(",".join([str(pid), ko, en, zh, ja, version, offered, image, *packages]))
    # LF line ends: a CR would stay at the end of the last field (the CHNA URL).
    catalogue = "\n".join(lines) + "\n"
    (tools / "program_list.txt").write_bytes(b"\xff\xfe" + catalogue.encode("utf-16-le"))

    (tools / "db_version.txt").write_bytes(f"{args.db_stamp}\r\n".encode())
    for region in REGIONS:
        body = (f"model information database, region {region}\n".encode() * 4096)
        (tools / f"modelinfo_{region}.db").write_bytes(body)

    # Line j goes with list row j; a program that is not offered is not listed
    # on a machine without it, so it has no line.
    stamps = []
    for _, _, en, _, _, _, offered, _ in chosen:
        folder = tools / "images" / en
        folder.mkdir(parents=True, exist_ok=True)
        for file, (language, accent) in LANGUAGES.items():
            (folder / f"{file}.bmp").write_bytes(bitmap(en, language, accent))
        if offered.startswith("TRUE"):
            stamps.append(f"{en}-images-{args.image_stamp}")
    (tools / "image_version.txt").write_bytes(("\r\n".join(stamps) + "\r\n").encode("utf-8"))

    built = Path(args.output) / ".installers"
    for _, _, en, _, _, version, _, executable in chosen:
        hq = tools / "packages" / "hq" / en
        hq.mkdir(parents=True, exist_ok=True)
        note = f"{en} {version}\r\n\r\nWhat is new in this version.\r\n"
        (hq / "ReleaseNote.txt").write_bytes(note.encode("utf-8"))
        if not args.tool_exe:
            continue
        # The update installer does what the full one does: one build serves both.
        out = built / en / "setup.exe"
        out.parent.mkdir(parents=True, exist_ok=True)
        build_installer(args.tool_exe, en, executable, version, out)
        for region in REGIONS:
            for setup in ("setup.exe", "setup_light.exe"):
                publish(out, tools / "packages" / region / en / setup)
    print(f"sample server tree written to {tools}")


if __name__ == "__main__":
    main()
