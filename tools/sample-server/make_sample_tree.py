#!/usr/bin/env python3
"""Writes a sample update server tree: what the maker's server publishes.

    make_sample_tree.py OUTPUT_DIR BASE_URL

BASE_URL is the URL under which OUTPUT_DIR/tools/ will be served, ending in
"/tools/" (for example http://127.0.0.1:8080/tools/). The catalogue's image
and package locations are full URLs below it.
"""
import os
import struct
import sys
from pathlib import Path

PROGRAMS = [
    # id, Korean, English, Chinese, Japanese, version, offered
    (1, "할벡스", "Halvex", "哈尔维克斯", "ハルベックス", "2.4.1", "TRUE"),
    (2, "쿼린", "Quorin", "奎林", "クオリン", "1.8.0", "TRUE"),
    (3, "핀드랄", "Pindral", "品德拉", "ピンドラル", "3.0.2", "TRUE"),
    (4, "스트렌나", "Strenna", "斯特伦纳", "ストレンナ", "1.1.7", "TRUE"),
    (5, "베디마르", "Veddimar", "维迪马尔", "ベディマール", "5.2.0", "TRUE"),
    (7, "모델 뷰어", "Model Viewer", "模型查看器", "モデルビューア", "0.9.3", "TRUE"),
]
REGIONS = ["hq", "amr", "eur", "chna"]
LANGUAGES = {"kr": (200, 60, 60), "en": (40, 90, 170), "cn": (190, 40, 40),
             "jp": (230, 230, 230), "po": (220, 120, 40)}


def bitmap(width, height, colour, accent):
    """A 24-bit bottom-up BMP: a coloured card with a band in the accent colour."""
    row = (width * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(height):
        line = bytearray()
        for x in range(width):
            band = height // 3 <= y < height // 3 + 24 or x < 8 or x >= width - 8
            r, g, b = accent if band else colour
            line += bytes((b, g, r))
        pixels += line + b"\0" * (row - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + bytes(pixels)


def main():
    out = Path(sys.argv[1])
    base = sys.argv[2]
    if not base.endswith("/tools/"):
        sys.exit("BASE_URL must end in /tools/")
    tools = out / "tools"
    tools.mkdir(parents=True, exist_ok=True)

    (tools / "Pelmora.txt").write_bytes(b"Pelmora v1.3.2v20150130\r\n")

    lines = ["id,Korean,English,Chinese,Japanese,Version,List,Image,HQ,AMR,EUR,CHNA"]
    for pid, ko, en, zh, ja, version, offered in PROGRAMS:
        image = f"{base}images/{en}"
        packages = [f"{base}packages/{region}/{en}" for region in REGIONS]
        lines.append(",".join([str(pid), ko, en, zh, ja, version, offered, image, *packages]))
    # LF line ends: a CR would stay at the end of the last field (the CHNA URL).
    catalogue = "\n".join(lines) + "\n"
    (tools / "program_list.txt").write_bytes(b"\xff\xfe" + catalogue.encode("utf-16-le"))

    (tools / "db_version.txt").write_bytes(b"2026-12-01 model database\r\n")
    for region in REGIONS:
        body = (f"model information database, region {region}\n".encode() * 4096)
        (tools / f"modelinfo_{region}.db").write_bytes(body)

    stamps = []
    for index, (_, _, en, *_rest) in enumerate(PROGRAMS):
        stamps.append(f"{en}-images-1")
        folder = tools / "images" / en
        folder.mkdir(parents=True, exist_ok=True)
        for language, accent in LANGUAGES.items():
            shade = 235 - 12 * index
            (folder / f"{language}.bmp").write_bytes(bitmap(256, 192, (shade, shade, 250), accent))
    (tools / "image_version.txt").write_bytes(("\r\n".join(stamps) + "\r\n").encode("ascii"))

    for _, _, en, _, _, version, _ in PROGRAMS:
        for region in REGIONS:
            folder = tools / "packages" / region / en
            folder.mkdir(parents=True, exist_ok=True)
            if region == "hq":
                note = f"{en} {version}\r\n\r\nWhat is new in this version.\r\n"
                (folder / "ReleaseNote.txt").write_bytes(note.encode("utf-8"))
    print(f"sample server tree written to {tools}")


if __name__ == "__main__":
    main()
