"""The publisher, run under Wine on a generated game folder; the tree it
writes is read back with an independent reader (update_files.py: gzip,
hashlib, struct), its whole-game package is unpacked by the launcher's own
unpacker, and trees left by killed or overlapping runs are served by nginx to
the launcher's update run."""
import gzip
import hashlib
import os
import random
import shutil
import subprocess
import threading

import pytest

from conftest import WINE_RUN, hold_open, wait_for, wine_env
from nginx_server import Nginx
from probe_run import SETTINGS_KEY, probe_runner
from update_files import UNIX_EPOCH_AS_FILETIME, decode_index, pattern, request_path

SERVER_DIRECTORY = "tarnhold2"   # string-table entry 108 in the launcher's language
MIRRORS = ["mirror.example", "second.example/pub"]
LAUNCHER_FILES = ["datasources.txt", "fileindex.dat", "fileindex.dat.zip", "cachedindex.dat",
                  SERVER_DIRECTORY + "_full.zip"]

GAME_FILES = {
    "Tarnhold.exe": pattern(150_000, 1),
    "TarnholdLauncher.exe": pattern(90_000, 2),
    "data/maps/north/keep.map": pattern(400_000, 3),
    "data/maps/a b+c.map": b"blanks and plus",
    "data/maps/level#2 100%.map": b"hash and percent",
    "data/sounds/wind.ogg": os.urandom(200_000),
    "data/empty.txt": b"",
    "Данные/Карта мира.bin": "Привет".encode("utf-8") * 100,
    "data/地图/Карта.bin": pattern(5000, 4),
    "readme.txt": b"Tarnhold\r\n" * 1000,
}


def make_game(folder, files=GAME_FILES):
    for name, content in files.items():
        path = folder / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content)
    return folder


def windows_name(name):
    return name.replace("/", "\\")


def filetime_of(path):
    return os.stat(path).st_mtime_ns // 100 + UNIX_EPOCH_AS_FILETIME


@pytest.fixture
def publish(build_dir, run_win):
    def run(*args, timeout=300):
        result = run_win(build_dir / "publisher.exe", *args, timeout=timeout)
        return result.returncode, result.stdout.decode("utf-8"), result.stderr.decode("utf-8", errors="replace")
    return run


@pytest.fixture
def game(tmp_path):
    return make_game(tmp_path / "game")


def tree_snapshot(folder):
    """Every file below folder but the lock, which names the last run."""
    return {str(p.relative_to(folder)): p.read_bytes() for p in sorted(folder.rglob("*"))
            if p.is_file() and p.suffix != ".lock"}


OUTPUT_NAMES = sorted(SERVER_DIRECTORY + suffix for suffix in ("", ".generations", ".lock", ".segments"))


def check_tree(tree, game_folder, files, mirrors, retired=()):
    """Everything the launcher will fetch, checked against the game folder;
    retired: packages of removed files still served."""
    expected_paths = {"datasources.txt", "fileindex.dat.zip", SERVER_DIRECTORY + "_full.zip"}
    expected_paths |= {request_path("", windows_name(name) + ".zip") for name in retired}
    index_image = gzip.decompress((tree / "fileindex.dat.zip").read_bytes())
    entries, checksum_ok, end = decode_index(index_image)
    assert checksum_ok
    assert end == len(index_image)
    assert sorted(e.name for e in entries) == sorted(windows_name(n) for n in files)
    for entry in entries:
        source = game_folder / entry.name.replace("\\", "/")
        content = source.read_bytes()
        assert entry.size == len(content), entry.name
        assert entry.md5 == hashlib.md5(content).digest(), entry.name
        assert entry.time == filetime_of(source), entry.name
        package_path = request_path("", entry.name + ".zip")
        package = tree / package_path
        assert entry.package_size == package.stat().st_size, entry.name
        assert gzip.decompress(package.read_bytes()) == content, entry.name
        expected_paths.add(package_path)

    stream = gzip.decompress((tree / (SERVER_DIRECTORY + "_full.zip")).read_bytes())
    assert stream[:len(index_image)] == index_image
    assert stream[len(index_image):] == b"".join(
        (game_folder / e.name.replace("\\", "/")).read_bytes() for e in entries)

    assert (tree / "datasources.txt").read_bytes() == b"".join(m.encode() + b"\r\n" for m in mirrors)
    assert {str(p.relative_to(tree)) for p in tree.rglob("*") if p.is_file()} == expected_paths
    return entries


def test_a_published_tree_holds_every_file_with_its_index_and_the_whole_game_package(tmp_path, game, publish):
    for name in LAUNCHER_FILES:
        (game / name).write_bytes(b"launcher state")
    # An output folder named outside the ANSI code page.
    out = tmp_path / "сервер 服务器"
    code, stdout, stderr = publish("--mirror", MIRRORS[0], "--mirror", MIRRORS[1], game, out)
    assert code == 0, stderr
    tree = out / SERVER_DIRECTORY
    entries = check_tree(tree, game, GAME_FILES, MIRRORS)
    assert [e.name for e in entries] == sorted((windows_name(n) for n in GAME_FILES), key=str.casefold)
    assert sorted(os.listdir(out)) == OUTPUT_NAMES
    for name in LAUNCHER_FILES:
        assert "Left out (a launcher file): " + name in stdout
    assert "Published %d files" % len(GAME_FILES) in stdout
    assert "Wrote the tree" in stdout


def test_the_whole_game_package_unpacks_to_the_game_with_the_launchers_unpacker(tmp_path, game, publish,
                                                                                 build_dir, run_win):
    out = tmp_path / "server"
    assert publish(game, out)[0] == 0
    player = tmp_path / "player"
    player.mkdir()
    shutil.copy(out / SERVER_DIRECTORY / (SERVER_DIRECTORY + "_full.zip"), player / "full.zip")
    result = run_win(build_dir / "update_probe.exe", "full", "full.zip", cwd=player, timeout=120)
    assert "result ok" in result.stdout.decode("utf-8")
    for name, content in GAME_FILES.items():
        assert (player / name).read_bytes() == content, name
        assert filetime_of(player / name) == filetime_of(game / name), name


def test_an_empty_game_folder_publishes_an_empty_index_and_no_mirrors_an_empty_server_list(tmp_path, publish):
    (tmp_path / "game").mkdir()
    out = tmp_path / "server"
    code, stdout, _ = publish(tmp_path / "game", out)
    assert code == 0
    check_tree(out / SERVER_DIRECTORY, tmp_path / "game", {}, [])
    assert "built-in update host" in stdout


def packages_of(tree):
    return {p.relative_to(tree): p.stat().st_ino for p in tree.rglob("*.zip")}


def test_unchanged_files_keep_their_packages_and_any_number_of_jobs_gives_the_same_tree(tmp_path, game, publish):
    one, two = tmp_path / "one", tmp_path / "two"
    assert publish("--jobs", "1", game, one)[0] == 0
    code, stdout, _ = publish("--jobs", "2", game, two)
    assert code == 0
    assert "Packed %d files, kept 0 packages unchanged" % len(GAME_FILES) in stdout
    assert tree_snapshot(one / SERVER_DIRECTORY) == tree_snapshot(two / SERVER_DIRECTORY)

    before = packages_of(two / SERVER_DIRECTORY)
    (game / "readme.txt").write_bytes(b"changed")
    (game / "data" / "maps" / "north" / "keep.map").unlink()
    files = dict(GAME_FILES, **{"readme.txt": b"changed"})
    del files["data/maps/north/keep.map"]
    code, stdout, _ = publish("--jobs", "2", "--mirror", "new.example", game, two)
    assert code == 0
    assert "Packed 1 files, kept %d packages unchanged; compressed 1 segments" % (len(files) - 1) in stdout
    assert "Replaced the tree" in stdout
    check_tree(two / SERVER_DIRECTORY, game, files, ["new.example"], retired=["data/maps/north/keep.map"])
    after = packages_of(two / SERVER_DIRECTORY)
    kept = {path for path in before if not str(path).startswith(("readme", SERVER_DIRECTORY, "fileindex"))}
    assert {path: after[path] for path in kept} == {path: before[path] for path in kept}
    assert len(os.listdir(two / (SERVER_DIRECTORY + ".generations"))) == 2


def test_a_second_run_is_refused_while_one_publishes(tmp_path, build_dir, publish):
    # Text packs slowly at level 9: the first run holds the lock for seconds.
    words = [bytes(random.Random(n).choices(b"etaoinshrdlu", k=n % 9 + 2)) for n in range(2000)]
    text = b" ".join(random.Random(1).choices(words, k=200_000))
    game = make_game(tmp_path / "game", {"part%02d.txt" % n: text[n:] for n in range(30)})
    first = subprocess.Popen([str(WINE_RUN), str(build_dir / "publisher.exe"), "--jobs", "1", game,
                              tmp_path / "server"], env=wine_env(), stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    for line in first.stdout:
        if line.startswith(b"Compressing"):
            break
    code, _, stderr = publish(game, tmp_path / "server")
    assert first.wait(timeout=300) == 0
    assert code == 1
    assert "another publisher run is publishing into this folder (pid " in stderr
def test_help_tells_the_usage_and_the_server_directory(publish):
    code, stdout, _ = publish("--help")
    assert code == 0
    assert stdout.startswith("Usage: publisher.exe [--mirror HOST[/DIRECTORY]]... [--jobs N] GAME_FOLDER OUTPUT_FOLDER")
    assert SERVER_DIRECTORY + "_full.zip" in stdout


@pytest.mark.parametrize("args, message", [
    ([], "expected GAME_FOLDER and OUTPUT_FOLDER"),
    (["only-one"], "expected GAME_FOLDER and OUTPUT_FOLDER"),
    (["a", "b", "c"], "expected GAME_FOLDER and OUTPUT_FOLDER"),
    (["--verbose", "a", "b"], "unknown option --verbose"),
    (["a", "b", "--mirror"], "--mirror needs a value"),
    (["--mirror", "has blank.example", "a", "b"], "holds a blank"),
    (["--mirror", "#comment", "a", "b"], "--mirror needs HOST or HOST/DIRECTORY"),
    (["--mirror", "/pub", "a", "b"], "--mirror needs HOST or HOST/DIRECTORY"),
])
def test_bad_arguments_are_refused_with_exit_code_2(publish, args, message):
    code, _, stderr = publish(*args)
    assert code == 2
    assert message in stderr
    assert "--help" in stderr


@pytest.mark.parametrize("case, message", [
    ("missing game folder", "does not exist"),
    ("output inside the game folder", "must lie apart"),
    ("names that meet once blanks become _", "would be the same file"),
    ("a folder named like a package", "would be the same file"),
    ("a file named like the whole-game package", "would be the same file"),
    ("a file named like another one's package", "readme.txt and readme.txt.zip cannot both be published"),
    ("a file another process is writing", "cannot read"),
])
def test_failures_say_why_and_leave_the_old_tree_as_it_was(tmp_path, game, publish, build_dir, case, message):
    out = tmp_path / "server"
    assert publish(game, out)[0] == 0
    before = tree_snapshot(out)
    game_arg, out_arg, holder = game, out, None
    if case == "missing game folder":
        game_arg = tmp_path / "no-game"
    elif case == "output inside the game folder":
        out_arg = game / "server"
    elif case == "names that meet once blanks become _":
        (game / "data" / "maps" / "a_b_c.map").write_bytes(b"x")
    elif case == "a folder named like a package":
        (game / "readme.txt.zip").mkdir()
        (game / "readme.txt.zip" / "inner.bin").write_bytes(b"x")
    elif case == "a file named like the whole-game package":
        (game / (SERVER_DIRECTORY + "_full")).write_bytes(b"x")
    elif case == "a file named like another one's package":
        (game / "readme.txt.zip").write_bytes(b"x")
    elif case == "a file another process is writing":
        holder = hold_open(build_dir, game / "data" / "sounds" / "wind.ogg")
    try:
        code, _, stderr = publish(game_arg, out_arg)
    finally:
        if holder:
            holder.stdin.close()
            holder.wait(timeout=60)
    assert code == 1
    assert message in stderr
    assert "Nothing was published" in stderr
    assert tree_snapshot(out) == before
    assert sorted(os.listdir(out)) == OUTPUT_NAMES


# The launcher against nginx serving a publisher's output folder as it is.
SERVED_GAME = {"Tarnhold.exe": pattern(40_000, 5), "data/big.bin": os.urandom(600_000),
               "data/video.bin": os.urandom(800_000),
               "data/a.bin": pattern(30_000, 6), "data/c.bin": pattern(20_000, 7), "data/d.bin": pattern(10_000, 8),
               "data/gone.bin": pattern(9_000, 9)}
REMOVED = "data/gone.bin"
NEXT_GAME = dict({n: c for n, c in SERVED_GAME.items() if n != REMOVED}, **{"data/a.bin": pattern(31_000, 10)})
RUN_SECONDS = 90


@pytest.fixture
def served(tmp_path, build_dir, driver, run_win, hosts):
    server = Nginx(tmp_path / "nginx", hosts.update)
    yield server, probe_runner(build_dir, run_win, driver, tmp_path / "player", hosts, RUN_SECONDS)
    driver.reg_delete("HKCU", SETTINGS_KEY)
    server.stop()


def served_index(root):
    return decode_index(gzip.decompress((root / SERVER_DIRECTORY / "fileindex.dat.zip").read_bytes()))[0]


@pytest.mark.parametrize("point", ["packing", "switch", "cleanup"])
def test_a_killed_publish_leaves_a_tree_the_launcher_completes_from(tmp_path, publish, served, point):
    server, start = served
    game = make_game(tmp_path / "game", SERVED_GAME)
    assert publish(game, server.root)[0] == 0
    make_game(game, NEXT_GAME)
    (game / REMOVED).unlink()
    assert publish("--abort-at", point, game, server.root)[0] == 3

    lines = start({})
    assert "finished" in lines, "\n".join(lines)
    for entry in served_index(server.root):
        content = (tmp_path / "player" / entry.name.replace("\\", "/")).read_bytes()
        assert hashlib.md5(content).digest() == entry.md5, entry.name
    assert all(status == "200" for _, status, _, _ in server.log())

    code, stdout, _ = publish(game, server.root)
    assert code == 0
    assert ("Repaired: " in stdout) == (point != "cleanup")
    # After its switch the killed run had published the removal itself.
    check_tree(server.root / SERVER_DIRECTORY, game, NEXT_GAME, [], retired=[] if point == "cleanup" else [REMOVED])


def test_a_launcher_holding_the_old_index_during_a_publish_that_removes_a_file_ends_current(tmp_path, publish,
                                                                                              served):
    server, start = served
    game = make_game(tmp_path / "game", SERVED_GAME)
    assert publish(game, server.root)[0] == 0
    # The player lacks the big file and the one the next publish removes (too
    # little for the whole-game package): the run fetches the big one slowly,
    # then the other.
    make_game(tmp_path / "player", {n: c for n, c in SERVED_GAME.items() if n not in ("data/big.bin", REMOVED)})
    server.set_rate("100k")
    run = threading.Thread(target=lambda: result.append(start({})))
    result = []
    run.start()
    assert wait_for(lambda: any("fileindex.dat.zip" in line for line, _, _, _ in server.log()))
    make_game(game, NEXT_GAME)
    (game / REMOVED).unlink()
    assert publish(game, server.root)[0] == 0
    run.join(timeout=RUN_SECONDS + 150)
    assert "finished" in result[0], "\n".join(result[0])
    assert (tmp_path / "player" / REMOVED).read_bytes() == SERVED_GAME[REMOVED]
    assert [status for line, status, _, _ in server.log() if REMOVED + ".zip" in line] == ["200"]
