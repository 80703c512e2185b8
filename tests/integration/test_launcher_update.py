"""The update run against nginx serving a tree made by our publisher at the
test's own update host (string-table entry 106 of its copy): the installed
launcher updating itself through its three processes and then the game, and
runs killed outright that the next run completes, resuming the interrupted
package with a range request."""
import hashlib
import os
import shutil
import subprocess

import pytest

from conftest import WINE_RUN, ended_after_last_line, give_hosts, wait_for, wine_env, winpath
from nginx_server import Nginx
from update_files import decode_index, pattern

SETTINGS_KEY = "Software\\OrvixGames\\Tarnhold"
MAIN_TITLE = "Tarnhold. Обновление"
LAUNCHER_UPDATED = "Установщик Tarnhold был обновлен и перезапущен"
LOG, START_GAME = 1006, 1005
UPDATE_SECONDS = 120
# Slow enough that a run can be caught in the middle of a package.
SLOW_RATE = "300k"

GAME = {
    "Tarnhold.exe": pattern(120_000, 1),
    "data/maps/north keep.map": pattern(300_000, 2),
    "data/sounds/wind.ogg": os.urandom(1_500_000),
    "data/big.pak": os.urandom(3_000_000),
    "readme.txt": b"Tarnhold\r\n" * 500,
}


@pytest.fixture
def server(tmp_path, build_dir, run_win, hosts):
    """nginx at the test's update host; publish(files) serves those files."""
    nginx = Nginx(tmp_path / "nginx", hosts.update)

    def publish(files, rate=None):
        game = tmp_path / "published"
        shutil.rmtree(game, ignore_errors=True)
        for name, content in files.items():
            (game / name).parent.mkdir(parents=True, exist_ok=True)
            (game / name).write_bytes(content)
        result = run_win(build_dir / "publisher.exe", winpath(game), winpath(nginx.root), timeout=300)
        assert result.returncode == 0, result.stderr.decode(errors="replace")
        nginx.set_rate(rate)

    yield nginx, publish
    nginx.stop()


@pytest.fixture
def settings(driver):
    driver.reg_delete("HKCU", SETTINGS_KEY)
    # No configuration report, one package per file.
    driver.reg_set("HKCU", SETTINGS_KEY + "\\Debug", "HW", "1")
    driver.reg_set("HKCU", SETTINGS_KEY + "\\Debug", "OneFileDownload", "0")
    yield driver
    driver.reg_delete("HKCU", SETTINGS_KEY)


def digests(folder, names):
    return {name: hashlib.md5((folder / name).read_bytes()).hexdigest() if (folder / name).exists() else None
            for name in names}


def expect_up_to_date(folder, files):
    assert digests(folder, files) == {name: hashlib.md5(data).hexdigest() for name, data in files.items()}
    assert not list(folder.rglob("*.zip"))


def package_requests(nginx):
    return [(line[0].split()[1], line[2]) for line in nginx.log() if ".zip" in line[0]]


def test_installed_launcher_updates_itself_then_the_game(server, settings, launcher_copy):
    nginx, publish = server
    driver = settings
    new_launcher = launcher_copy.read_bytes() + b"\0" * 512 + b"a newer build"
    files = dict(GAME, **{"TarnholdLauncher.exe": new_launcher})
    publish(files)
    folder = launcher_copy.parent
    driver.reg_set("HKCU", SETTINGS_KEY, "InstallPath", winpath(folder))
    driver.reg_set("HKCU", SETTINGS_KEY + "\\Debug", "OneFileDownload", "1")

    first = driver.start(launcher_copy, cwd=folder)
    # The old launcher fetches its new executable, hands over and ends; the
    # copy puts it in place and starts it; the new launcher updates the game.
    assert driver.wait(first, UPDATE_SECONDS * 1000) == 0
    wanted = {name: hashlib.md5(data).hexdigest() for name, data in files.items()}
    assert wait_for(lambda: digests(folder, files) == wanted and not (folder / "downloading.dat").exists(),
                    UPDATE_SECONDS)
    # The old window closed without asking why; the new one says what happened
    # and, once its run has ended, closes without asking either.
    window = driver.exe_window(winpath(launcher_copy), 20000)
    assert window is not None and window[1] == MAIN_TITLE
    assert driver.text(window[0], LOG).startswith(LAUNCHER_UPDATED)
    assert wait_for(lambda: driver.state(window[0], START_GAME)[0], UPDATE_SECONDS)
    driver.close_window(window[0])
    assert wait_for(lambda: driver.exe_window(winpath(launcher_copy), 0) is None, 30)

    expect_up_to_date(folder, files)
    assert not (folder / "TarnholdLauncher.exe.copy.exe").exists()
    asked = [path for path, _ in package_requests(nginx)]
    assert asked[:2] == ["/tarnhold2/fileindex.dat.zip", "/tarnhold2/TarnholdLauncher.exe.zip"]
    # The whole game came in one package, which left the running launcher alone.
    assert asked[2:] == ["/tarnhold2/fileindex.dat.zip", "/tarnhold2/tarnhold2_full.zip"]


def run_probe(build_dir, folder, hosts):
    probe = folder / "update_probe.exe"
    if not probe.exists():
        shutil.copy(build_dir / "update_probe.exe", probe)
        give_hosts(probe, hosts)
    return subprocess.Popen([str(WINE_RUN), str(probe), "run", hosts.report, str(UPDATE_SECONDS)], cwd=folder,
                            env=wine_env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)


def recorded(folder, files):
    """The files the cached index holds in the version of files."""
    cached = folder / "cachedindex.dat"
    if not cached.exists():
        return []
    wanted = {name: hashlib.md5(data).digest() for name, data in files.items()}
    return [entry.name.replace("\\", "/") for entry in decode_index(cached.read_bytes())[0]
            if wanted.get(entry.name.replace("\\", "/")) == entry.md5]


def in_flight(folder):
    """The partial package being fetched, or None."""
    partial = [p for p in folder.rglob("*.zip") if p.name != "fileindex.dat.zip"]
    return partial[0] if len(partial) == 1 else None


def finish(process):
    returncode = process.wait(timeout=UPDATE_SECONDS * 2)
    printed = process.stdout.read()
    assert ended_after_last_line(returncode, printed, b"", "update_probe.exe"), returncode
    assert "finished" in printed.decode("utf-8").splitlines()


# A run is killed inside a package: the first one of a fresh folder, or one of
# an update after two files were completed and written down.
@pytest.mark.parametrize("earlier_run, completed_before", [(False, 0), (True, 2)],
                         ids=["fresh folder", "update after two files"])
def test_a_run_killed_outright_is_completed_by_the_next_one(server, settings, build_dir, tmp_path, hosts,
                                                           earlier_run, completed_before):
    nginx, publish = server
    folder = tmp_path / "game"
    folder.mkdir()
    files = GAME
    if earlier_run:
        publish(GAME)
        finish(run_probe(build_dir, folder, hosts))
        files = {name: data + b" version 2" for name, data in GAME.items()}
    publish(files, rate=SLOW_RATE)

    # Killed once the cached index records the completed files (written at
    # least every 2 s) while a package is under way.
    def caught():
        partial = in_flight(folder)
        return len(recorded(folder, files)) >= completed_before and partial is not None and \
            partial.stat().st_size > 50_000

    first = run_probe(build_dir, folder, hosts)
    assert wait_for(caught)
    first.kill()
    first.wait()
    completed = recorded(folder, files)
    partial = in_flight(folder)
    assert partial is not None
    kept = partial.stat().st_size

    nginx.set_rate(None)
    served_before = len(package_requests(nginx))
    finish(run_probe(build_dir, folder, hosts))

    expect_up_to_date(folder, files)
    after_kill = package_requests(nginx)[served_before:]
    partial_path = "/tarnhold2/" + partial.relative_to(folder).as_posix().replace(" ", "_")
    assert [rng for path, rng in after_kill if path == partial_path] == ["bytes=%d-" % kept], after_kill
    refetched = {path for path, _ in after_kill}
    assert not [name for name in completed if "/tarnhold2/" + name.replace(" ", "_") + ".zip" in refetched]


def test_the_whole_game_package_leaves_the_running_launcher_alone(server, settings, build_dir, tmp_path, hosts):
    nginx, publish = server
    folder = tmp_path / "game"
    folder.mkdir()
    shutil.copy(build_dir / "update_probe.exe", folder / "update_probe.exe")
    give_hosts(folder / "update_probe.exe", hosts)
    running = (folder / "update_probe.exe").read_bytes()
    publish(dict(GAME, **{"update_probe.exe": running}))
    settings.reg_set("HKCU", SETTINGS_KEY + "\\Debug", "OneFileDownload", "1")
    untouched = 1_500_000_000
    os.utime(folder / "update_probe.exe", (untouched, untouched))

    finish(run_probe(build_dir, folder, hosts))

    # Everything else came in the one package; the running executable, which
    # cannot be overwritten, was passed over and then found current.
    expect_up_to_date(folder, GAME)
    assert (folder / "update_probe.exe").stat().st_mtime == untouched
    asked = [path for path, _ in package_requests(nginx)]
    assert asked == ["/tarnhold2/fileindex.dat.zip", "/tarnhold2/tarnhold2_full.zip"]
