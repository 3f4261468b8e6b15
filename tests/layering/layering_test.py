#!/usr/bin/env python3
"""Fails on a product #include that runs upward against the order of the
folders written in the README ("The order of the folders"), naming the file
and line. A file belongs to the deepest folder of that list that holds it."""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
PRODUCT = ("app", "catalogue", "download", "trust", "ui", "win", "resources")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def read_order(readme):
    """The numbered list below the heading, top layer first."""
    lines = readme.read_text(encoding="utf-8").splitlines()
    start = next(i for i, l in enumerate(lines) if l.strip() == "### The order of the folders")
    order = []
    for line in lines[start + 1:]:
        if line.startswith("#"):
            break
        m = re.match(r"\d+\.\s+`([^`]+)/`", line)
        if m:
            order.append(m.group(1))
    if not order:
        sys.exit("layering: no order of folders found in the README")
    return order


def unit_of(path, order):
    best = None
    for unit in order:
        if path == unit or path.startswith(unit + "/"):
            if best is None or len(unit) > len(best):
                best = unit
    return best


def main():
    order = read_order(ROOT / "README.md")
    rank = {unit: i for i, unit in enumerate(order)}
    faults = []
    for top in PRODUCT:
        for f in sorted((ROOT / top).rglob("*")):
            if f.suffix not in (".h", ".cpp", ".rc"):
                continue
            rel = f.relative_to(ROOT).as_posix()
            own = unit_of(rel, order)
            if own is None:
                faults.append(f"{rel}: in no folder of the written order")
                continue
            for n, line in enumerate(f.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = m.group(1)
                if "/" not in target:
                    # Resolved beside the file, or from resources/ (the string ids).
                    target = (f.parent / target).relative_to(ROOT).as_posix() \
                        if (f.parent / target).exists() else "resources/" + target
                used = unit_of(target, order)
                if used is not None and rank[used] < rank[own]:
                    faults.append(f"{rel}:{n}: includes {m.group(1)} ({used}/ lies above {own}/)")
    for fault in faults:
        print(fault)
    print(f"layering: {len(faults)} upward include(s) across {len(order)} folders")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
