#!/usr/bin/env python3
"""Fails when a file in src/ includes a header of a folder above its own.

A folder is a layer: base < net, platform < filter < app < shell. net and platform are siblings and
include neither each other nor anything above them.
Usage: layer_check.py SRC_DIR
"""
import pathlib
import re
import sys

BELOW = {
    "base": set(),
    "net": {"base"},
    "platform": {"base"},
    "filter": {"base", "net", "platform"},
    "app": {"base", "net", "platform", "filter"},
    "shell": {"base", "net", "platform", "filter", "app"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^/"]+)/[^"]*"', re.MULTILINE)


def faults(src):
    for folder in sorted(p for p in src.iterdir() if p.is_dir()):
        allowed = BELOW.get(folder.name)
        if allowed is None:
            yield f"{folder}: a folder of no known layer"
            continue
        for file in sorted(folder.rglob("*")):
            if file.suffix not in (".h", ".cpp"):
                continue
            for used in INCLUDE.findall(file.read_text(encoding="utf-8", errors="replace")):
                if used != folder.name and used not in allowed:
                    yield f"{file}: includes a header of {used}/, which is not below {folder.name}/"


def main():
    found = list(faults(pathlib.Path(sys.argv[1])))
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
