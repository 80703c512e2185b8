"""Writes the fuzz targets' seed corpus: valid and nearly valid packages.

    make_seeds.py ZIPCLI OUTPUT_DIR

OUTPUT_DIR/fuzz_unzip gets, behind the refill byte of that target's input,
gzip members from Python's gzip and zlib (several
levels, every optional header field, two members), ZIP archives from
zipfile (stored, deflated, with data descriptor, two entries), members from
our own zipcli and a few broken ones. OUTPUT_DIR/fuzz_roundtrip gets inputs in
that target's format: level byte, repeat byte, payload.
"""

import gzip
import io
import pathlib
import random
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib


class Unseekable(io.RawIOBase):
    """A write-only stream, so zipfile writes data descriptors."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


def samples(rng):
    text = b' '.join(rng.choice([b'tarnhold', b'launcher', b'update', b'file', b'the', b'of'])
                     for _ in range(3000))
    return {
        'empty': b'',
        'one': b'x',
        'text': text,
        'random': rng.randbytes(5000),
        'runs': b'a' * 3000 + b'b' * 300 + bytes(range(256)) * 4,
        'large': text * 12 + rng.randbytes(40000),
    }


def gzip_member(payload, flags, level=6, mtime=1_500_000_000):
    deflater = zlib.compressobj(level, zlib.DEFLATED, -15)
    body = deflater.compress(payload) + deflater.flush()
    header = struct.pack('<BBBBIBB', 0x1F, 0x8B, 8, flags, mtime, 0, 3)
    if flags & 0x04:
        header += struct.pack('<H', 6) + b'AB\x02\x00hi'
    if flags & 0x08:
        header += b'name.bin\0'
    if flags & 0x10:
        header += b'a comment\0'
    if flags & 0x02:
        header += b'\0\0'
    return header + body + struct.pack('<II', zlib.crc32(payload), len(payload) & 0xFFFFFFFF)


def zip_archive(entries, method, descriptor=False):
    target = Unseekable() if descriptor else io.BytesIO()
    with zipfile.ZipFile(target, 'w', compression=method) as archive:
        for name, payload in entries:
            archive.writestr(name, payload)
    return bytes(target.data if descriptor else target.getvalue())


def unzip_seeds(zipcli, rng):
    seeds = {}
    data = samples(rng)
    for name, payload in data.items():
        for level in (1, 6, 9):
            seeds['py_%s_%d.gz' % (name, level)] = gzip.compress(payload, level, mtime=0)
        seeds['zip_stored_%s.zip' % name] = zip_archive([(name, payload)], zipfile.ZIP_STORED)
        seeds['zip_deflated_%s.zip' % name] = zip_archive([(name, payload)], zipfile.ZIP_DEFLATED)
    text = data['text']
    for flags in (0x04, 0x08, 0x10, 0x1C, 0x01, 0x02, 0x20, 0x80):
        seeds['flags_%02x.gz' % flags] = gzip_member(text, flags)
    seeds['two_members.gz'] = gzip.compress(b'first') + gzip.compress(b'second')
    seeds['zip_descriptor.zip'] = zip_archive([('t', text)], zipfile.ZIP_DEFLATED, descriptor=True)
    seeds['zip_two_entries.zip'] = zip_archive([('a', text), ('b', b'second')], zipfile.ZIP_DEFLATED)
    seeds['lzw.Z'] = b'\x1f\x9d\x90' + text[:100]
    seeds['packed.z'] = b'\x1f\x1e' + text[:100]
    seeds['plain.txt'] = text[:200]
    member = gzip.compress(text, 9)
    seeds['truncated.gz'] = member[:len(member) // 2]
    seeds['bad_crc.gz'] = member[:-8] + b'\0\0\0\0' + member[-4:]

    with tempfile.TemporaryDirectory() as folder:
        folder = pathlib.Path(folder)
        for name in ('text', 'random', 'runs', 'large'):
            source = folder / name
            source.write_bytes(data[name])
            for level in (1, 4, 9):
                packed = folder / ('%s.%d.gz' % (name, level))
                subprocess.run([zipcli, 'c', source, packed, str(level)], check=True)
                seeds['zipcli_%s_%d.gz' % (name, level)] = packed.read_bytes()
    return seeds


def roundtrip_seeds(rng):
    seeds = {}
    for name, payload in samples(rng).items():
        for level in (0, 3, 5, 8):
            seeds['%s_%d' % (name, level)] = bytes([level, 0]) + payload[:4000]
    seeds['repeated'] = bytes([0x88, 60]) + b'tarnhold launcher ' * 100
    seeds['slides'] = bytes([8, 200]) + rng.randbytes(1200)
    return seeds


def main():
    zipcli, output = sys.argv[1], pathlib.Path(sys.argv[2])
    rng = random.Random(7)
    # Whole refills, and refills of 7 bytes.
    unzip = {}
    for name, data in unzip_seeds(zipcli, rng).items():
        unzip[name] = b'\0' + data
        unzip['r7_' + name] = b'\7' + data
    for target, seeds in (('fuzz_unzip', unzip), ('fuzz_roundtrip', roundtrip_seeds(rng))):
        folder = output / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in seeds.items():
            (folder / name).write_bytes(data)


if __name__ == '__main__':
    main()
