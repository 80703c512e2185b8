"""The gzip codec against Python's gzip, zlib and zipfile as independent
references of the formats, through the Windows zipcli under Wine."""
import gzip
import io
import os
import random
import struct
import zipfile
import zlib

import pytest

from conftest import winpath

OPERATION_FAILED = b"problem with zipping/unzipping operation : 1"
UNZIP_FAILED = b"problem while unzipping file"


def make_text(size, seed):
    rng = random.Random(seed)
    words = [b"tarnhold", b"launcher", b"update", b"the", b"of", b"file", b"package", b"server"]
    out = bytearray()
    while len(out) < size:
        out += rng.choice(words) + (b".\r\n" if rng.random() < 0.1 else b" ")
    return bytes(out[:size])


def samples():
    rng = random.Random(5)
    text = make_text(200_000, 1)
    return {
        "empty": b"",
        "one": b"\x00",
        "text": text,
        "random": rng.randbytes(70_000),
        "runs": b"a" * 100_000 + b"\x00" * 50_000 + bytes(range(256)) * 100,
        "larger_than_window": text + rng.randbytes(40_000) + text[::-1] + b"z" * 70_000,
    }


@pytest.fixture
def zipcli(build_dir, run_win, tmp_path):
    exe = build_dir / "zipcli.exe"
    assert exe.exists(), "zipcli.exe is not built"

    def call(*args):
        return run_win(exe, *[winpath(a) if isinstance(a, os.PathLike) else a for a in args], cwd=tmp_path)

    return call


def last_error_line(result):
    lines = [line.strip() for line in result.stderr.splitlines() if line.strip()]
    return lines[-1] if lines else b""


def decompress_with_zipcli(zipcli, tmp_path, packed):
    source = tmp_path / "input.gz"
    target = tmp_path / "output.bin"
    source.write_bytes(packed)
    if target.exists():
        target.unlink()
    result = zipcli("d", source, target)
    return result, (target.read_bytes() if target.exists() else None)


def expect_restored(zipcli, tmp_path, packed, data):
    result, restored = decompress_with_zipcli(zipcli, tmp_path, packed)
    assert result.returncode == 0, result.stderr
    assert restored == data


def expect_failure(zipcli, tmp_path, packed, text):
    result, restored = decompress_with_zipcli(zipcli, tmp_path, packed)
    assert result.returncode == 1
    assert last_error_line(result) == text
    return restored


def gzip_member(payload, flags=0, level=6, mtime=0, extra=b"", name=b"", comment=b""):
    """A gzip member with the header fields given (RFC 1952)."""
    deflater = zlib.compressobj(level, zlib.DEFLATED, -15)
    body = deflater.compress(payload) + deflater.flush()
    header = struct.pack("<BBBBIBB", 0x1F, 0x8B, 8, flags, mtime, 0, 255)
    if flags & 0x04:
        header += struct.pack("<H", len(extra)) + extra
    if flags & 0x08:
        header += name + b"\0"
    if flags & 0x10:
        header += comment + b"\0"
    if flags & 0x02:
        header += struct.pack("<H", zlib.crc32(header) & 0xFFFF)
    return header + body + struct.pack("<II", zlib.crc32(payload), len(payload) & 0xFFFFFFFF)


# ---- What we write, Python reads ---------------------------------------------------

@pytest.mark.parametrize("name", list(samples()))
def test_python_restores_what_we_compress(zipcli, tmp_path, name):
    data = samples()[name]
    source = tmp_path / (name + ".bin")
    source.write_bytes(data)
    packed = tmp_path / "packed.gz"
    result = zipcli("c", source, packed)
    assert result.returncode == 0, result.stderr
    assert gzip.decompress(packed.read_bytes()) == data


@pytest.mark.parametrize("level", range(1, 10))
def test_python_restores_every_level(zipcli, tmp_path, level):
    data = samples()["larger_than_window"]
    source = tmp_path / "data.bin"
    source.write_bytes(data)
    packed = tmp_path / "packed.gz"
    assert zipcli("c", source, packed, str(level)).returncode == 0
    raw = packed.read_bytes()
    assert gzip.decompress(raw) == data
    assert raw[8] == {1: 4, 9: 2}.get(level, 0)


def test_header_carries_name_and_time_stamp(zipcli, tmp_path):
    source = tmp_path / "Data.Bin"
    source.write_bytes(b"payload")
    os.utime(source, (1_300_000_000, 1_300_000_000))
    packed = tmp_path / "packed.gz"
    assert zipcli("c", source, packed).returncode == 0
    raw = packed.read_bytes()
    flags, mtime, _, os_byte = struct.unpack("<BIBB", raw[3:10])
    assert flags == 0x08
    assert mtime == 1_300_000_000
    assert os_byte == 11
    # The absolute Windows path loses its drive and folders.
    assert raw[10:19] == b"Data.Bin\0"
    with gzip.GzipFile(fileobj=io.BytesIO(raw)) as member:
        assert member.read() == b"payload"
        assert member.mtime == 1_300_000_000


# ---- What Python writes, we read ---------------------------------------------------------

@pytest.mark.parametrize("level", [1, 6, 9])
def test_python_gzip_members(zipcli, tmp_path, level):
    data = samples()["larger_than_window"]
    expect_restored(zipcli, tmp_path, gzip.compress(data, level), data)


@pytest.mark.parametrize("level,strategy", [
    (0, zlib.Z_DEFAULT_STRATEGY),   # stored blocks
    (9, zlib.Z_FIXED),              # fixed Huffman blocks
    (6, zlib.Z_HUFFMAN_ONLY),       # literals only: no distance code
    (6, zlib.Z_RLE),                # distance 1 only
    (9, zlib.Z_FILTERED),
])
def test_zlib_gzip_streams(zipcli, tmp_path, level, strategy):
    data = samples()["text"] + samples()["runs"]
    compressor = zlib.compressobj(level, zlib.DEFLATED, 31, 9, strategy)
    expect_restored(zipcli, tmp_path, compressor.compress(data) + compressor.flush(), data)


@pytest.mark.parametrize("fields", [
    dict(flags=0x04, extra=b"AB\x02\x00hi"),
    dict(flags=0x08, name=b"name.bin"),
    dict(flags=0x10, comment=b"a comment"),
    dict(flags=0x1D, extra=b"x" * 300, name=b"n" * 100, comment=b"c" * 100),
])
def test_optional_header_fields(zipcli, tmp_path, fields):
    data = samples()["text"]
    expect_restored(zipcli, tmp_path, gzip_member(data, **fields), data)


def test_time_stamp_reaches_the_target(zipcli, tmp_path):
    data = b"dated"
    expect_restored(zipcli, tmp_path, gzip_member(data, mtime=1_234_567_890), data)
    assert os.stat(tmp_path / "output.bin").st_mtime == 1_234_567_890


def test_only_the_first_member_is_decoded(zipcli, tmp_path):
    expect_restored(zipcli, tmp_path, gzip.compress(b"first member") + gzip.compress(b"second"), b"first member")


def zip_archive(entries, method, unseekable=False):
    class Unseekable(io.RawIOBase):
        def __init__(self):
            self.data = bytearray()

        def writable(self):
            return True

        def write(self, b):
            self.data += b
            return len(b)

    target = Unseekable() if unseekable else io.BytesIO()
    with zipfile.ZipFile(target, "w", compression=method) as archive:
        for name, payload in entries:
            archive.writestr(name, payload)
    return bytes(target.data) if unseekable else target.getvalue()


@pytest.mark.parametrize("method", [zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED])
def test_zipfile_single_entry(zipcli, tmp_path, method):
    data = samples()["larger_than_window"]
    expect_restored(zipcli, tmp_path, zip_archive([("game/file.dat", data)], method), data)


def test_zipfile_entry_with_data_descriptor(zipcli, tmp_path):
    # Written to a stream that cannot seek, the entry ends in a data descriptor.
    data = samples()["text"]
    archive = zip_archive([("file.dat", data)], zipfile.ZIP_DEFLATED, unseekable=True)
    assert struct.unpack("<H", archive[6:8])[0] & 0x08
    expect_restored(zipcli, tmp_path, archive, data)


@pytest.mark.parametrize("method", [zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED])
def test_zipfile_second_entry_fails_after_the_first(zipcli, tmp_path, method):
    first = samples()["text"]
    archive = zip_archive([("a.dat", first), ("b.dat", b"second")], method)
    assert expect_failure(zipcli, tmp_path, archive, UNZIP_FAILED) == first


# ---- Refusals and failures ---------------------------------------------------------------------

def test_header_crc_flag_is_refused(zipcli, tmp_path):
    expect_failure(zipcli, tmp_path, gzip_member(b"data", flags=0x02), UNZIP_FAILED)


def test_plain_file_is_refused(zipcli, tmp_path):
    expect_failure(zipcli, tmp_path, b"just some text", UNZIP_FAILED)


def test_lzw_input_fails(zipcli, tmp_path):
    expect_failure(zipcli, tmp_path, b"\x1f\x9d\x90abcabc", OPERATION_FAILED)


def test_empty_truncated_and_corrupted_input_fail(zipcli, tmp_path):
    data = samples()["text"]
    member = gzip.compress(data, 9)
    expect_failure(zipcli, tmp_path, b"", OPERATION_FAILED)
    expect_failure(zipcli, tmp_path, member[: len(member) // 2], OPERATION_FAILED)
    bad_crc = member[:-8] + bytes([member[-8] ^ 1]) + member[-7:]
    # The CRC is only known at the end: the whole output is there.
    assert expect_failure(zipcli, tmp_path, bad_crc, OPERATION_FAILED) == data


def test_file_opening_failures(zipcli, tmp_path):
    source = tmp_path / "same.bin"
    source.write_bytes(b"x")
    result = zipcli("c", source, source)
    assert (result.returncode, last_error_line(result)) == (1, b"target name must be different than source name")
    result = zipcli("d", tmp_path / "missing.gz", tmp_path / "out.bin")
    assert (result.returncode, last_error_line(result)) == (1, b"unable to open source file")
    result = zipcli("c", source, tmp_path / "no-such-folder" / "out.gz")
    assert (result.returncode, last_error_line(result)) == (1, b"unable to create target file")
