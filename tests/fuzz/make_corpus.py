#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora (tests/fuzz/corpus) from a tree our
publisher really published, plus a few damaged and unusual variants.

    make_corpus.py BUILD_DIR [OUTPUT_DIR]

BUILD_DIR holds the Windows build (publisher.exe, run under Wine in that
build's prefix, as the integration tests run it). Every seed stays within a
few KiB: the game published is small. Each seed starts with the selector
byte of its target's input (see the targets' sources).
"""

import gzip
import io
import os
import pathlib
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent.parent

GAME = {
    'Tarnhold.exe': bytes(range(256)) * 6,
    'TarnholdLauncher.exe': b'MZ launcher ' * 40,
    'data/maps/a b+c.map': b'blanks and plus',
    'data/empty.txt': b'',
    'data/words.txt': b'tarnhold launcher update file ' * 60,
    'Данные/Карта.bin': 'Привет'.encode('utf-8') * 20,
}
MIRRORS = ['update1.example.net', 'update2.example.net/tarnhold2']
SERVER_DIRECTORY = 'tarnhold2'


def winpath(path):
    return 'Z:' + str(path.resolve()).replace('/', '\\')


def publish(build, folder):
    game = folder / 'game'
    for name, content in GAME.items():
        (game / name).parent.mkdir(parents=True, exist_ok=True)
        (game / name).write_bytes(content)
    web = folder / 'web'
    env = dict(os.environ, WINEPREFIX=str(build / 'wineprefix'), WINEDEBUG='-all', TARNHOLD_ARCH='i686',
               WINEARCH='win32', WINEDLLOVERRIDES='mscoree,mshtml=')
    mirrors = [arg for mirror in MIRRORS for arg in ('--mirror', mirror)]
    subprocess.run([ROOT / 'scripts' / 'wine-run.sh', build / 'publisher.exe', *mirrors, winpath(game),
                    winpath(web)], env=env, check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    return web / SERVER_DIRECTORY


def zip_archive(name, payload, method):
    target = io.BytesIO()
    with zipfile.ZipFile(target, 'w', compression=method) as archive:
        archive.writestr(name, payload)
    return target.getvalue()


def gzip_variants(payload):
    """Members our publisher does not write but the reader must take or refuse."""
    deflater = zlib.compressobj(6, zlib.DEFLATED, -15)
    body = deflater.compress(payload) + deflater.flush()
    trailer = struct.pack('<II', zlib.crc32(payload), len(payload))
    header = struct.pack('<BBBBIBB', 0x1F, 0x8B, 8, 0x1C, 0, 0, 3) + struct.pack('<H', 2) + b'AB' + b'n\0c\0'
    member = gzip.compress(payload, 9, mtime=0)
    return {
        'flags.gz': header + body + trailer,
        'stored.zip': zip_archive('f', payload, zipfile.ZIP_STORED),
        'deflated.zip': zip_archive('f', payload, zipfile.ZIP_DEFLATED),
        'fixed.gz': gzip.compress(payload[:40], 1, mtime=0),
        'two_members.gz': gzip.compress(b'first', mtime=0) + gzip.compress(b'second', mtime=0),
        'truncated.gz': member[:len(member) // 2],
        'bad_crc.gz': member[:-8] + b'\0\0\0\0' + member[-4:],
    }


def seeds(tree):
    served = {path.relative_to(tree).as_posix(): path.read_bytes() for path in tree.rglob('*') if path.is_file()}
    index_package = served['fileindex.dat.zip']
    index = gzip.decompress(index_package)
    full = served[SERVER_DIRECTORY + '_full.zip']
    stream = gzip.decompress(full)
    packages = {name: data for name, data in served.items()
                if name.endswith('.zip') and name not in ('fileindex.dat.zip', SERVER_DIRECTORY + '_full.zip')}
    corpus = {target: {} for target in ('fuzz_unzip', 'fuzz_roundtrip', 'fuzz_index', 'fuzz_index_package',
                                        'fuzz_datasources', 'fuzz_game_stream')}

    # fuzz_unzip and fuzz_index_package: refill byte, then the package.
    for name, data in list(packages.items()) + [('fileindex.dat.zip', index_package), ('full.zip', full)]:
        label = name.replace('/', '_')
        corpus['fuzz_unzip'][label] = b'\0' + data
        corpus['fuzz_unzip']['r7_' + label] = b'\7' + data
    for name, data in gzip_variants(GAME['data/words.txt']).items():
        corpus['fuzz_unzip'][name] = b'\0' + data
    corpus['fuzz_index_package']['published'] = b'\0' + index_package
    corpus['fuzz_index_package']['r5_published'] = b'\5' + index_package
    corpus['fuzz_index_package']['stored.zip'] = b'\0' + zip_archive('fileindex.dat', index, zipfile.ZIP_STORED)

    # fuzz_roundtrip: level byte, repeat byte, payload.
    for level, (name, content) in enumerate(GAME.items()):
        corpus['fuzz_roundtrip'][name.replace('/', '_')] = bytes([level, 3]) + content[:2000]
    corpus['fuzz_roundtrip']['slide'] = bytes([0x88, 0xFF]) + GAME['Tarnhold.exe']

    # fuzz_index: selector (read step, bit 7 verifies), then the index.
    corpus['fuzz_index']['verified'] = b'\x80' + index
    corpus['fuzz_index']['r3_unverified'] = b'\3' + index
    corpus['fuzz_index']['no_checksum'] = b'\x80' + index[:-16]
    corpus['fuzz_index']['bad_checksum'] = b'\x80' + index[:-1] + bytes([index[-1] ^ 1])

    # fuzz_datasources: chunk byte, then the list.
    lists = corpus['fuzz_datasources']
    lists['published'] = b'\0' + served['datasources.txt']
    lists['r3_published'] = b'\3' + served['datasources.txt']
    lists['mixed'] = b'\0# comment\r\n\r\nmirror.example/pub\n  spaced  \ncaf\xe9\nlast'

    # fuzz_game_stream: read step, then the package's content.
    corpus['fuzz_game_stream']['published'] = b'\0' + stream
    corpus['fuzz_game_stream']['r7_published'] = b'\7' + stream
    corpus['fuzz_game_stream']['extra_byte'] = b'\0' + stream + b'!'
    return corpus


def main():
    build = pathlib.Path(sys.argv[1]).resolve()
    output = pathlib.Path(sys.argv[2]) if len(sys.argv) > 2 else HERE / 'corpus'
    with tempfile.TemporaryDirectory() as folder:
        corpus = seeds(publish(build, pathlib.Path(folder)))
    for target, files in corpus.items():
        # Regression seeds of findings stay; the generated ones are written anew.
        folder = output / target
        folder.mkdir(parents=True, exist_ok=True)
        for old in folder.iterdir():
            if not old.name.startswith('finding-'):
                old.unlink()
        for name, data in files.items():
            (folder / name).write_bytes(data)


if __name__ == '__main__':
    main()
