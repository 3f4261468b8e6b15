#!/usr/bin/env python3
"""Fails on a product #include that runs upward against the order of the
folders written in docs/design.md ("The order of the folders"), and on a quoted
#include that names no file, naming the file and line. A file belongs to the
deepest folder of that list that holds it. tools/ holds the C++ programs around
the product (driver, benchmark, sample tool) and stands at the top.

    layering_test.py [ROOT]   ROOT: the tree to check, this repository by default
"""
import pathlib
import re
import sys

PRODUCT = ("tools", "app", "catalogue", "download", "trust", "ui", "win", "resources")
SOURCES = (".h", ".cpp", ".rc")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
HEADING = "The order of the folders"
# Written by CMake into the build tree (from resources/pelmora_version.h.in).
GENERATED = {"pelmora_version.h"}


def read_order(doc):
    """The numbered list below the heading, top layer first."""
    lines = doc.read_text(encoding="utf-8").splitlines()
    start = next((i for i, l in enumerate(lines)
                  if l.startswith("#") and l.lstrip("#").strip() == HEADING), None)
    order = []
    for line in lines[start + 1:] if start is not None else []:
        if line.startswith("#"):
            break
        m = re.match(r"\d+\.\s+`([^`]+)/`", line)
        if m:
            order.append(m.group(1))
    if not order:
        sys.exit(f"layering: no order of folders found in {doc}")
    return order


def unit_of(path, order):
    best = None
    for unit in order:
        if path == unit or path.startswith(unit + "/"):
            if best is None or len(unit) > len(best):
                best = unit
    return best


def resolve(root, including, target):
    """The included file relative to root, as the compiler's search finds it:
    beside the including file, from the repository root, from resources/."""
    for base in (including.parent, root, root / "resources"):
        candidate = (base / target).resolve()
        if candidate.is_file():
            try:
                return candidate.relative_to(root).as_posix()
            except ValueError:
                return None  # outside the tree: no room of ours
    return False


def main(argv):
    root = pathlib.Path(argv[1] if len(argv) > 1 else pathlib.Path(__file__).parents[2]).resolve()
    order = read_order(root / "docs" / "design.md")
    rank = {unit: i for i, unit in enumerate(order)}
    faults = []
    for top in PRODUCT:
        for f in sorted((root / top).rglob("*")):
            if f.suffix not in SOURCES or not f.is_file():
                continue
            rel = f.relative_to(root).as_posix()
            own = unit_of(rel, order)
            if own is None:
                faults.append(f"{rel}: in no folder of the written order")
                continue
            for n, line in enumerate(f.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = resolve(root, f, m.group(1))
                if target is False:
                    if m.group(1) not in GENERATED:
                        faults.append(f"{rel}:{n}: includes {m.group(1)}, found neither beside it, "
                                      "from the repository root nor in resources/")
                    continue
                used = unit_of(target, order) if target else None
                if used is not None and rank[used] < rank[own]:
                    faults.append(f"{rel}:{n}: includes {m.group(1)} ({used}/ lies above {own}/)")
    for fault in faults:
        print(fault)
    print(f"layering: {len(faults)} fault(s) across {len(order)} folders")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
