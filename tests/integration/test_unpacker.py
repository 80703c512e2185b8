"""The whole-game package unpacker and the single-file package unpack, run
under Wine through tests/helpers/update_probe.cpp. Packages are made here
with Python's gzip module from hand-made streams; the publisher's packages
are unpacked in test_publisher.py."""
import os
import pathlib

import pytest

from update_files import Entry, filetime, game_stream, gzip_bytes, mtime_ns_of_filetime, pattern

PACKAGE = "tarnhold2_full.zip"
READONLY, HIDDEN, ARCHIVE = 0x1, 0x2, 0x20
STOP_TIMEOUT = 180
# Far below the 20 s the unpacker would wait for a thread that waits itself.
NO_WAIT_MS = 5000


@pytest.fixture
def game(tmp_path):
    folder = tmp_path / "game"
    folder.mkdir()
    return folder


@pytest.fixture
def probe(build_dir, run_win):
    def run(folder, *args, timeout=120):
        result = run_win(build_dir / "update_probe.exe", *args, cwd=folder, timeout=timeout)
        assert result.returncode == 0, result.stderr.decode(errors="replace")
        facts, done = {}, []
        runs = [facts]
        for line in result.stdout.decode("utf-8").splitlines():
            if line == "-- again":
                facts = {}
                runs.append(facts)
            elif line.startswith("done "):
                facts.setdefault("done", []).append(line[5:])
            else:
                key, _, value = line.partition(" ")
                facts[key] = value
        return runs
    return run


def write_package(folder, stream):
    (folder / PACKAGE).write_bytes(gzip_bytes(stream))


def files_below(folder):
    """Every file below the folder except the package and the probe's own."""
    skip = {PACKAGE, "roundtrip.txt", "roundtrip.txt.gz", "roundtrip.out"}
    return sorted(str(p.relative_to(folder)) for p in folder.rglob("*") if p.is_file() and p.name not in skip)


def local(folder, name):
    return folder.joinpath(*name.replace("\\", "/").split("/"))


def expect_written(folder, entry):
    path = local(folder, entry.name)
    assert path.read_bytes() == entry.content, entry.name
    assert os.stat(path).st_mtime_ns == mtime_ns_of_filetime(entry.time), entry.name


GAME = [
    Entry("Tarnhold.exe", pattern(70_000, 1), filetime(1_600_000_000)),
    Entry("data\\maps\\north\\keep.map", pattern(200_000, 2), filetime(1_600_000_100)),
    Entry("data\\empty.txt", b"", filetime(1_600_000_200), md5=b"\xee" * 16),
    Entry("data/sounds/wind.ogg", pattern(65_536, 3), filetime(1_600_000_300)),
    Entry("Данные\\Карта мира.bin", pattern(1000, 4), filetime(1_600_000_400)),
    Entry("zero.bin", b"", filetime(1_600_000_500)),
]


def test_a_package_with_files_writes_each_dated_and_checked(game, probe):
    write_package(game, game_stream(GAME))
    (facts,) = probe(game, "full", PACKAGE)[:1]
    assert facts["result"] == "ok"
    assert facts["begin_calls"] == "1"
    assert int(facts["begin_total"]) == sum(e.size for e in GAME)
    assert int(facts["bytes"]) == sum(e.size for e in GAME)
    assert facts["done"] == [e.name for e in GAME]
    assert facts["entries"] == str(len(GAME))
    assert facts["has_hashes"] == "1" and facts["checksum_present"] == "1"
    for entry in GAME:
        expect_written(game, entry)
    assert len(files_below(game)) == len(GAME)


def test_an_empty_index_unpacks_to_nothing_and_succeeds(game, probe):
    write_package(game, game_stream([]))
    facts = probe(game, "full", PACKAGE)[0]
    assert (facts["result"], facts["begin_calls"], facts["begin_total"], facts["entries"]) == ("ok", "1", "0", "0")
    assert files_below(game) == []


def test_read_only_targets_are_overwritten_and_keep_their_other_attributes(game, probe):
    entries = [Entry("locked.bin", b"new content", filetime(1_500_000_000)),
               Entry("sub\\plain.bin", b"also new", filetime(1_500_000_000))]
    for entry in entries:
        local(game, entry.name).parent.mkdir(exist_ok=True)
        local(game, entry.name).write_bytes(b"old content that is longer than the new one")
    before = int(probe(game, "attributes", "locked.bin", "%x" % (READONLY | HIDDEN))[0]["attributes"], 16)
    assert before & READONLY
    write_package(game, game_stream(entries))
    assert probe(game, "full", PACKAGE)[0]["result"] == "ok"
    for entry in entries:
        expect_written(game, entry)
    after = int(probe(game, "attributes", "locked.bin")[0]["attributes"], 16)
    assert after & ~ARCHIVE == before & ~(READONLY | ARCHIVE)


def test_a_digest_mismatch_fails_at_that_file_and_leaves_it_as_written(game, probe):
    good = Entry("first.bin", pattern(5000, 5), filetime(1_550_000_000))
    bad = Entry("second.bin", pattern(5000, 6), filetime(1_550_000_000), md5=b"\x01" * 16)
    never = Entry("third.bin", pattern(5000, 7), filetime(1_550_000_000))
    write_package(game, game_stream([good, bad, never]))
    facts = probe(game, "full", PACKAGE)[0]
    assert facts["result"] == "failed"
    assert facts["done"] == ["first.bin"]
    expect_written(game, good)
    assert (game / "second.bin").read_bytes() == bad.content
    assert not (game / "third.bin").exists()


# A damaged package fails at once, without falling into one of the unpacker's
# 20 s waits: the first file complete, the second cut short, or nothing at all.
@pytest.mark.parametrize("damage, listing", [
    ("truncated package", ["a.bin", "b.bin"]), ("stream shorter than the index", ["a.bin", "b.bin"]),
    ("not gzip", []), ("missing package", []), ("unreadable index", [])])
def test_damaged_packages_fail_without_waiting_and_keep_earlier_files(game, probe, damage, listing):
    entries = [Entry("a.bin", pattern(300_000, 8), filetime(1_560_000_000)),
               Entry("b.bin", pattern(300_000, 9), filetime(1_560_000_000))]
    stream = game_stream(entries)
    package = game / PACKAGE
    if damage == "truncated package":
        whole = gzip_bytes(stream)
        package.write_bytes(whole[:len(whole) * 3 // 4])
    elif damage == "stream shorter than the index":
        package.write_bytes(gzip_bytes(stream[:-100]))
    elif damage == "not gzip":
        package.write_bytes(stream)
    elif damage == "unreadable index":
        package.write_bytes(gzip_bytes(stream[:20]))
    facts = probe(game, "full", PACKAGE)[0]
    assert facts["result"] == "failed"
    assert float(facts["elapsed_ms"]) < NO_WAIT_MS
    assert files_below(game) == listing
    assert facts.get("done", []) == listing[:1]
    if listing:
        expect_written(game, entries[0])
        cut = (game / "b.bin").read_bytes()
        assert len(cut) < entries[1].size and entries[1].content.startswith(cut)


def test_a_crc_error_fails_the_package_after_every_file_was_written(game, probe):
    entries = [Entry("a.bin", pattern(10_000, 10), filetime(1_570_000_000))]
    whole = bytearray(gzip_bytes(game_stream(entries)))
    whole[-8] ^= 0xFF
    (game / PACKAGE).write_bytes(bytes(whole))
    facts = probe(game, "full", PACKAGE)[0]
    assert facts["result"] == "failed"
    expect_written(game, entries[0])


def test_bytes_beyond_the_indexed_files_fail_the_package(game, probe):
    entries = [Entry("a.bin", pattern(10_000, 11), filetime(1_570_000_000))]
    write_package(game, game_stream(entries) + pattern(500_000, 12))
    facts = probe(game, "full", PACKAGE)[0]
    assert facts["result"] == "failed"
    expect_written(game, entries[0])


@pytest.mark.parametrize("name", [
    "..\\escape.bin",
    "data\\..\\..\\escape.bin",
    "data/../../escape.bin",
    "data\\.. \\..\\escape.bin",
    "C:\\escape.bin",
    "C:escape.bin",
    "\\escape.bin",
    "/escape.bin",
    "\\\\localhost\\share\\escape.bin",
    "escape.bin:stream",
])
def test_hostile_names_fail_the_package_before_anything_is_written(game, probe, name):
    entries = [Entry("benign.bin", b"benign", filetime(1_580_000_000)),
               Entry(name, b"hostile", filetime(1_580_000_000))]
    write_package(game, game_stream(entries))
    facts = probe(game, "full", PACKAGE)[0]
    assert facts["result"] == "failed"
    assert facts.get("begin_calls") == "0"
    assert files_below(game) == []
    assert not any(p.name.startswith("escape") for p in game.parent.rglob("*"))


def test_a_stop_in_the_middle_ends_the_call_keeps_written_files_and_leaves_the_codec_usable(game, probe):
    entries = [Entry("one.bin", pattern(3_000_000, 13), filetime(1_590_000_000)),
               Entry("two.bin", pattern(3_000_000, 14), filetime(1_590_000_000)),
               Entry("three.bin", pattern(3_000_000, 15), filetime(1_590_000_000))]
    write_package(game, game_stream(entries))
    stopped = probe(game, "full", PACKAGE, "--stop-after", "4000000", timeout=STOP_TIMEOUT)[0]
    assert stopped["result"] == "failed"
    assert stopped["done"] == ["one.bin"]
    expect_written(game, entries[0])
    assert (game / "two.bin").read_bytes() != entries[1].content
    assert not (game / "three.bin").exists()
    assert stopped["codec"] == "ok"

    # In one process: stopped, then the same package again in full.
    stopped, again = probe(game, "full", PACKAGE, "--stop-after", "4000000", "--again", timeout=STOP_TIMEOUT)
    assert stopped["result"] == "failed"
    assert again["result"] == "ok"
    for entry in entries:
        expect_written(game, entry)
    assert again["codec"] == "ok"


def test_a_failed_write_to_a_full_disk_fails_the_file(game, probe):
    if not os.path.exists("/dev/full"):
        pytest.skip("no /dev/full to stand for a full disk")
    entries = [Entry("full.bin", pattern(100_000, 16), filetime(1_590_000_000)),
               Entry("after.bin", b"after", filetime(1_590_000_000))]
    (game / "full.bin").symlink_to("/dev/full")
    write_package(game, game_stream(entries))
    facts = probe(game, "full", PACKAGE)[0]
    assert facts["result"] == "failed"
    assert facts.get("done") is None
    assert not (game / "after.bin").exists()


def test_a_single_file_package_replaces_its_target_and_is_deleted(game, probe):
    (game / "sub").mkdir()
    target = game / "sub" / "file.bin"
    target.write_bytes(b"old")
    probe(game, "attributes", "sub\\file.bin", "%x" % READONLY)
    content = pattern(123_456, 17)
    (game / "sub" / "file.bin.zip").write_bytes(gzip_bytes(content))
    assert probe(game, "single", "sub\\file.bin.zip", "sub\\file.bin")[0]["result"] == "ok"
    assert target.read_bytes() == content
    assert not (game / "sub" / "file.bin.zip").exists()


def test_a_damaged_single_file_package_is_deleted_and_its_failure_told(game, probe):
    (game / "file.bin.zip").write_bytes(gzip_bytes(b"content")[:-4])
    facts = probe(game, "single", "file.bin.zip", "file.bin")[0]
    assert facts["result"] == "failed problem with zipping/unzipping operation : 1"
    assert not (game / "file.bin.zip").exists()
