"""Independent readers and writers of the update files, written from the
format description with Python's struct, hashlib and gzip only: the file
index, the whole-game package stream and the request paths."""
import gzip
import hashlib
import struct
import uuid

SALT = uuid.UUID("6D2E91C4-7B0A-4F3E-9C85-2A1D4E7F0B63").bytes_le
UNIX_EPOCH_AS_FILETIME = 116444736000000000


def filetime(unix_seconds):
    return UNIX_EPOCH_AS_FILETIME + unix_seconds * 10_000_000


def mtime_ns_of_filetime(ft):
    return (ft - UNIX_EPOCH_AS_FILETIME) * 100


class Entry:
    def __init__(self, name, content=b"", time=0, package_size=0, md5=None, size=None):
        self.name = name
        self.content = content
        self.time = time
        self.package_size = package_size
        self.md5 = hashlib.md5(content).digest() if md5 is None else md5
        self.size = len(content) if size is None else size

    def __repr__(self):
        return "Entry(%r, size=%d)" % (self.name, self.size)


def encode_index(entries, checksum=True, version=2, count=None):
    image = struct.pack("<II", version, len(entries) if count is None else count)
    for e in entries:
        name = e.name.encode("utf-8")
        image += struct.pack("<QIIH", e.time, e.size & 0xFFFFFFFF, e.package_size & 0xFFFFFFFF, len(name))
        image += name + e.md5
    if checksum:
        image += hashlib.md5(SALT + image).digest()
    return image


def decode_index(data):
    """Entries, whether a checksum followed and matched, and where the index ended."""
    version, count = struct.unpack_from("<II", data, 0)
    assert version == 2
    pos = 8
    entries = []
    for _ in range(count):
        time, size, package_size, length = struct.unpack_from("<QIIH", data, pos)
        pos += 18
        name = data[pos:pos + length].decode("utf-8")
        pos += length
        md5 = data[pos:pos + 16]
        pos += 16
        entries.append(Entry(name, time=time, package_size=package_size, md5=md5, size=size))
    checksum_ok = len(data) >= pos + 16 and data[pos:pos + 16] == hashlib.md5(SALT + data[:pos]).digest()
    return entries, checksum_ok, pos + 16


def game_stream(entries, **index_options):
    """The decompressed content of a whole-game package."""
    return encode_index(entries, **index_options) + b"".join(e.content for e in entries)


def gzip_bytes(data):
    return gzip.compress(data, compresslevel=6, mtime=0)


def request_path(server_directory, name):
    """Where a file's package lies on the update server: blanks and "+" become
    "_", folders are separated by "/". The launcher asks for this path
    percent-encoded from its UTF-8."""
    path = name.replace(" ", "_").replace("+", "_").replace("\\", "/")
    return (server_directory + "/" if server_directory else "") + path


def pattern(size, seed):
    """Deterministic bytes that compress a little, like game data."""
    out = bytearray()
    state = seed
    while len(out) < size:
        state = (state * 1103515245 + 12345) & 0xFFFFFFFF
        out += bytes([(state >> 16) & 0xFF]) * (1 + (state >> 28))
    return bytes(out[:size])
