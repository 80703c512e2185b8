#!/usr/bin/env python3
"""Fails when a source file includes a header of a folder above its own.

The folders depend one way: each may include its own and the ones below it.
"""
import pathlib
import re
import sys

LAYERS = ['support', 'services', 'net', 'telemetry', 'update', 'ui', 'app']
INCLUDE = re.compile(r'^\s*#\s*include\s+"(([^/"]+)/[^"]+)"', re.MULTILINE)


def upward_includes(root):
    for rank, layer in enumerate(LAYERS):
        for source in sorted((root / layer).rglob('*')):
            if source.suffix not in ('.h', '.cpp'):
                continue
            for header, folder in INCLUDE.findall(source.read_text(encoding='utf-8')):
                if folder in LAYERS and LAYERS.index(folder) > rank:
                    yield f'{source.relative_to(root)} includes {header}'


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else '.')
    found = list(upward_includes(root))
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main())
