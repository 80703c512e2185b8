"""The update run (CFileUpdater) under Wine, driven by update_probe.exe with a
window that prints what it is told, against scripted HTTP servers: the test's
own update host (string-table entry 106) hands out a mirror, the mirror serves
the index and the packages (made here with Python's gzip), and the report
server on the report host records the events."""
import os
import sys
import time
from urllib.parse import quote

import pytest

from conftest import SOURCE_DIR, hold_open
from probe_run import SETTINGS_KEY, events, probe_runner
from reportserver import ReportServer
from update_files import Entry, decode_index, encode_index, filetime, game_stream, gzip_bytes, mtime_ns_of_filetime, pattern

sys.path.insert(0, str(SOURCE_DIR / "tools"))
from test_http_server import FileRoute, Reply, ScriptedHttpServer  # noqa: E402

MIRROR = "127.0.7.30"
REFUSING, FAILING = "127.0.7.32", "127.0.7.33"    # nothing listens at REFUSING
RUN_SECONDS = 60

FILES = [Entry("Tarnhold.dat", pattern(70000, 1), time=filetime(1_600_000_000)),
         Entry("maps\\deep map+1.bin", pattern(3000, 2), time=filetime(1_600_000_100)),
         Entry("empty.txt", b"", time=filetime(1_600_000_200))]
PACKAGE = gzip_bytes(FILES[0].content)
# Other bytes of the same length, in a package of the same size.
OTHER_PACKAGE = gzip_bytes(bytes(b ^ 0xFF for b in FILES[0].content))
PARTIAL = 300


def packages_of(entries):
    packages = {}
    for entry in entries:
        packages[entry.name] = gzip_bytes(entry.content)
        entry.package_size = len(packages[entry.name])
    return packages


@pytest.fixture
def servers(tmp_path, hosts, request):
    """The update host names the mirror (or the mirrors a test gives as its
    parameter, the served one among them); routes are set by each test."""
    listed = "# mirrors\n" + "".join("%s/pub\n" % address for address in getattr(request, "param", [MIRROR]))
    default = ScriptedHttpServer(hosts.update, {"/tarnhold2/datasources.txt": Reply(body=listed.encode())})
    mirror = ScriptedHttpServer(MIRROR)
    reports = ReportServer(hosts.report, tmp_path / "reports.db", keep=True)
    yield mirror, reports
    for server in (default, mirror, reports):
        server.stop()


def publish(mirror, entries, whole_game=False, first_answers=()):
    packages = packages_of(entries)
    mirror.routes["/pub/fileindex.dat.zip"] = Reply(body=gzip_bytes(encode_index(entries)))
    for entry in entries:
        path = "/pub/" + entry.name.replace("\\", "/").replace(" ", "_").replace("+", "_")
        mirror.routes[path + ".zip"] = [*first_answers, FileRoute(packages[entry.name])]
    if whole_game:
        mirror.routes["/pub/tarnhold2_full.zip"] = FileRoute(gzip_bytes(game_stream(entries)))


@pytest.fixture
def run(build_dir, run_win, driver, tmp_path, hosts):
    """Runs the probe in a fresh game folder with the given settings; its lines."""
    folder = tmp_path / "game"
    yield folder, probe_runner(build_dir, run_win, driver, folder, hosts, RUN_SECONDS)
    driver.reg_delete("HKCU", SETTINGS_KEY)


def expect_game(folder, entries, published=None):
    """The entries' files are in place; the cached index is the published one."""
    for entry in entries:
        path = folder.joinpath(*entry.name.split("\\"))
        assert path.read_bytes() == entry.content, entry.name
        assert path.stat().st_mtime_ns == mtime_ns_of_filetime(entry.time), entry.name
    assert (folder / "cachedindex.dat").read_bytes() == encode_index(published or entries)
    assert not [p.name for p in folder.rglob("*.zip")]


@pytest.mark.parametrize("settings, whole_game", [
    ({"Debug\\OneFileDownload": "0"}, False),
    ({"Debug\\OneFileDownload": "0", "Debug\\HttpPreference": "2"}, False),
    ({}, True),
], ids=["socket client", "WinINet", "whole-game package"])
def test_a_fresh_folder_is_brought_up_to_date(servers, run, settings, whole_game):
    mirror, reports = servers
    entries = [Entry(e.name, e.content, e.time) for e in FILES]
    publish(mirror, entries, whole_game)
    folder, start = run
    lines = start(settings)

    assert "check_before_run 0" in lines
    assert "finished" in lines
    assert [line for line in lines if line.startswith("log ") and line.endswith(": 127.0.7.30")]
    expect_game(folder, entries)
    asked = [r.path for r in mirror.requests]
    if whole_game:
        assert asked == ["/pub/fileindex.dat.zip", "/pub/tarnhold2_full.zip"]
    else:
        assert asked == ["/pub/fileindex.dat.zip", "/pub/Tarnhold.dat.zip", "/pub/maps/deep_map_1.bin.zip",
                         "/pub/empty.txt.zip"]
    assert events(reports) == ["1", "2"]


def test_a_name_outside_the_ansi_code_page_is_downloaded_unpacked_and_recorded(servers, run):
    mirror, _ = servers
    entries = [Entry("data\\地图\\Карта.bin", pattern(5000, 3), time=filetime(1_600_000_500))]
    publish(mirror, entries)
    # The launcher asks for the percent-encoded UTF-8 of the name.
    asked_for = quote("/pub/data/地图/Карта.bin.zip")
    mirror.routes[asked_for] = mirror.routes.pop("/pub/data/地图/Карта.bin.zip")
    folder, start = run
    lines = start({"Debug\\OneFileDownload": "0"})

    assert "finished" in lines
    expect_game(folder, entries)
    assert [r.path for r in mirror.requests] == ["/pub/fileindex.dat.zip", asked_for]


# A failed request is retried as it was; a package that does not belong to the
# index sends the run back to the index, also one that never ends.
@pytest.mark.parametrize("first_answer, index_requests", [
    (Reply(500, body=b"busy"), 1), (Reply(body=b"not the package"), 2), (Reply(body=OTHER_PACKAGE), 2),
    (Reply(body=PACKAGE + bytes(65536), length=None, stall=True), 2)])
def test_a_failed_download_is_reported_and_retried_until_it_arrives(servers, run, first_answer, index_requests):
    mirror, reports = servers
    entries = [Entry(e.name, e.content, e.time) for e in FILES[:1]]
    publish(mirror, entries, first_answers=[first_answer])
    folder, start = run
    lines = start({"Debug\\OneFileDownload": "0"})

    assert "finished" in lines
    expect_game(folder, entries)
    assert len(mirror.requests_for("/pub/Tarnhold.dat.zip")) == 2
    assert len(mirror.requests_for("/pub/fileindex.dat.zip")) == index_requests
    assert events(reports) == ["1", "10", "2"]


def test_a_stopped_run_keeps_what_it_completed_and_resumes_the_interrupted_package(servers, run):
    mirror, reports = servers
    entries = [Entry(e.name, e.content, e.time) for e in FILES[:2]]
    publish(mirror, entries)
    interrupted = entries[1]
    package = mirror.routes["/pub/maps/deep_map_1.bin.zip"][-1].data
    mirror.routes["/pub/maps/deep_map_1.bin.zip"] = [Reply(500, body=b"busy"), FileRoute(package)]
    folder, start = run
    # Left by an earlier run; it carries no entry's time, so it is not resumed yet.
    partial = folder / "maps" / "deep map+1.bin.zip"
    partial.parent.mkdir()
    partial.write_bytes(package[:300])

    # Stopped while it waits to ask again after the failure.
    lines = start({"Debug\\OneFileDownload": "0"}, until=lambda: "10" in events(reports))
    assert "stopping" in lines
    assert events(reports) == ["1", "10", "11"]
    cached = decode_index((folder / "cachedindex.dat").read_bytes())[0]
    assert [e.name for e in cached] == [entries[0].name]
    assert partial.stat().st_mtime_ns == mtime_ns_of_filetime(interrupted.time)

    assert "finished" in start({"Debug\\OneFileDownload": "0"})
    expect_game(folder, entries)
    ranges = [r.header("Range") for r in mirror.requests_for("/pub/maps/deep_map_1.bin.zip")]
    assert ranges == [None, "bytes=300-"]


# WinINet under Wine, and a server that ignores the range, start over from 0; a
# server whose package is no longer than ours answers 416.
@pytest.mark.parametrize("settings, first_answers", [
    ({"Debug\\HttpPreference": "2"}, []),
    ({}, [Reply(body=PACKAGE)]),
    ({}, [Reply(416), Reply(body=PACKAGE[:PARTIAL])]),
], ids=["WinINet", "whole answer to a range", "range past the end"])
def test_a_resumed_package_is_counted_once(servers, run, settings, first_answers):
    mirror, _ = servers
    entries = [Entry(e.name, e.content, e.time) for e in FILES[:1]]
    publish(mirror, entries, first_answers=first_answers)
    folder, start = run
    # A cached index spares the integrity check, whose hashing shows in the file figures.
    (folder / "cachedindex.dat").write_bytes(encode_index([]))
    partial = folder / "Tarnhold.dat.zip"
    partial.write_bytes(PACKAGE[:PARTIAL])
    os.utime(partial, ns=(0, mtime_ns_of_filetime(entries[0].time)))
    lines = start({"Debug\\OneFileDownload": "0", **settings})

    assert "finished" in lines
    expect_game(folder, entries)
    figures = {name: [int(line.split()[1]) for line in lines if line.startswith(name + " ")]
               for name in ("total_size", "total_progress", "file_progress")}
    assert figures["total_size"][-1] == len(PACKAGE)
    assert max(figures["total_progress"]) == max(figures["file_progress"]) == len(PACKAGE)


def test_the_integrity_check_fetches_again_what_was_damaged_on_disk(servers, run):
    mirror, _ = servers
    entries = [Entry(e.name, e.content, e.time) for e in FILES]
    publish(mirror, entries)
    folder, start = run
    start({"Debug\\OneFileDownload": "0"})
    damaged = folder / "Tarnhold.dat"
    damaged.write_bytes(b"x" * len(entries[0].content))
    os.utime(damaged, ns=(0, mtime_ns_of_filetime(entries[0].time)))

    lines = start({"Debug\\OneFileDownload": "0"}, "--check")
    assert "check 1" in lines
    assert lines.count("finished") == 2
    expect_game(folder, entries)
    assert len(mirror.requests_for("/pub/Tarnhold.dat.zip")) == 2
    assert len(mirror.requests_for("/pub/empty.txt.zip")) == 1


def test_stopping_the_check_answers_its_question_about_an_index_without_digests(servers, run, driver):
    """Before checking against an index without digests the run asks the
    player. A stop meanwhile answers for the player, and the run ends well
    within the 20 s its owner waits before it would leave the worker behind."""
    mirror, _ = servers
    mirror.routes["/pub/fileindex.dat.zip"] = Reply(body=gzip_bytes(b"\x01\x00\x00\x00"))
    folder, start = run
    asked = []
    lines = start({"Debug\\HashCheck": "1"},
                  until=lambda: asked.append(time.monotonic()) or driver.find_window("Tarnhold", 0))
    assert "stopping" in lines
    assert time.monotonic() - asked[-1] < 10, "the stop waited for the question"


def test_a_plan_that_cannot_hash_a_file_is_made_again_after_the_usual_wait(servers, run, build_dir):
    mirror, reports = servers
    publish(mirror, [Entry(e.name, e.content, e.time) for e in FILES[:1]])
    folder, start = run
    (folder / "Tarnhold.dat").write_bytes(FILES[0].content)
    holder = hold_open(build_dir, folder / "Tarnhold.dat")
    try:
        start({"Debug\\OneFileDownload": "0"}, until=lambda: events(reports).count("12") >= 2 and
              len(mirror.requests_for("/pub/fileindex.dat.zip")) >= 2)
    finally:
        holder.stdin.close()
        holder.wait()
    assert events(reports)[:3] == ["1", "12", "12"]
    assert len(mirror.requests_for("/pub/fileindex.dat.zip")) >= 2


@pytest.mark.parametrize("servers", [[REFUSING, FAILING, MIRROR]], indirect=True, ids=["three mirrors"])
def test_mirrors_that_refuse_or_fail_are_passed_over_until_the_run_ends_current_from_another(servers, run):
    mirror, reports = servers
    entries = [Entry(e.name, e.content, e.time) for e in FILES[:1]]
    publish(mirror, entries)
    failing = ScriptedHttpServer(FAILING, {path: Reply(500, body=b"busy") for path in mirror.routes})
    folder, start = run
    try:
        # Each failure costs a retry wait, and the mirror is drawn at random.
        lines = start({"Debug\\OneFileDownload": "0"}, seconds=3 * RUN_SECONDS)
    finally:
        failing.stop()

    assert "finished" in lines
    expect_game(folder, entries)
    assert [r.path for r in mirror.requests] == ["/pub/fileindex.dat.zip", "/pub/Tarnhold.dat.zip"]
    assert {r.path for r in failing.requests} <= {"/pub/fileindex.dat.zip"}
    reported = events(reports)
    assert (reported[0], reported[-1]) == ("1", "2") and set(reported[1:-1]) <= {"10"}


@pytest.mark.parametrize("changed", [True, False])
def test_the_launchers_own_entry_is_handled_first_and_alone(servers, run, changed):
    mirror, _ = servers
    folder, start = run
    running = (folder / "update_probe.exe").read_bytes()
    launcher = Entry("update_probe.exe", running + b"new" if changed else running, time=filetime(1_600_000_300))
    entries = [Entry(e.name, e.content, e.time) for e in FILES[:1]] + [launcher]
    publish(mirror, entries)
    # The cached index holds an older launcher, so the run fetches its entry.
    (folder / "cachedindex.dat").write_bytes(encode_index([Entry("update_probe.exe", b"old")]))
    lines = start({"Debug\\OneFileDownload": "0"})

    asked = [r.path for r in mirror.requests]
    cached = {e.name: e.md5 for e in decode_index((folder / "cachedindex.dat").read_bytes())[0]}
    # A hand-over leaves the launcher to be hashed on disk by the next run.
    assert cached.get("update_probe.exe") == (None if changed else launcher.md5)
    if changed:
        assert asked == ["/pub/fileindex.dat.zip", "/pub/update_probe.exe.zip"]
        handover = [line for line in lines if line in ("closing", "start_copy .\\update_probe.exe.copy.exe")]
        assert handover == ["closing", "start_copy .\\update_probe.exe.copy.exe"]
        assert "finished" not in lines
        copy = folder / "update_probe.exe.copy.exe"
        assert copy.read_bytes() == launcher.content
        assert copy.stat().st_mtime_ns == mtime_ns_of_filetime(launcher.time)
    else:
        assert asked == ["/pub/fileindex.dat.zip", "/pub/update_probe.exe.zip", "/pub/Tarnhold.dat.zip"]
        assert "log Self update is not required" in lines
        assert "finished" in lines
        expect_game(folder, entries)


def test_a_name_that_would_leave_the_game_folder_is_never_fetched_and_reported_once(servers, run):
    mirror, reports = servers
    entries = [Entry("..\\outside.bin", b"escape", time=filetime(1_600_000_400))] + \
        [Entry(e.name, e.content, e.time) for e in FILES[:1]]
    publish(mirror, entries)
    folder, start = run
    lines = start({"Debug\\OneFileDownload": "0"})

    assert "finished" in lines
    expect_game(folder, entries[1:], entries)
    assert not (folder.parent / "outside.bin").exists()
    assert [r.path for r in mirror.requests] == ["/pub/fileindex.dat.zip", "/pub/Tarnhold.dat.zip"]
    failures = [dict(r["fields"]) for r in reports.reports("events") if dict(r["fields"]).get("event") == "10"]
    assert [f.get("text") for f in failures] == ["unsafe_file_name ..\\outside.bin"]
