"""The installed launcher's main window, driven as a player would: a whole
update shown in its bars and lines, the log toggle, starting the stand-in game
(automatically, by hand, or not at all when it is missing), and closing before
the game is ready. The scripted server serves a game made by our publisher at
the test's own update host, holding a package where the player must act
during the run; the report server listens at the test's own report host."""
import os
import re
import shutil
import sys

import pytest

from conftest import SOURCE_DIR, wait_for, winpath
from reportserver import ReportServer
from update_files import pattern

sys.path.insert(0, str(SOURCE_DIR / "tools"))
from test_http_server import FileRoute, Reply, ScriptedHttpServer  # noqa: E402

SETTINGS_KEY = "Software\\OrvixGames\\Tarnhold"
MAIN_TITLE = "Tarnhold. Обновление"
POLL_TITLE = "Вопрос"
UP_TO_DATE = "Все файлы последней версии"
NOT_FOUND, LAUNCH_FAILED = ("Не найден исполняемый файл приложения",
                            "Не удалось запустить игру.\nВероятно, требуется обновление библиотек Microsoft DirectX")
COLLAPSED, EXPANDED = "\u02c5", "\u02c4"
WAIT_MS = 60000
# Sent halfway, then held until the test releases it: the player acts while the run goes on.
HELD = "/tarnhold2/data/big.pak.zip"

IDOK, IDCANCEL = 1, 2
STATUS, COUNT_LINE, FILE_BAR, TOTAL_BAR = 1001, 1002, 1000, 1003
AUTO_START, START_GAME, LOG, LOG_TOGGLE, SPEED = 1004, 1005, 1006, 1050, 1052
BM_GETCHECK = 0xF0
ANSWER_LATER = 1050
MESSAGE_TEXT = 0xFFFF
PBM_GETRANGE, PBM_GETPOS = 0x407, 0x408

DATA = {"data/maps/north keep.map": pattern(300_000, 2), "data/big.pak": pattern(1_200_000, 3),
        "readme.txt": b"Tarnhold\r\n" * 500}


@pytest.fixture
def game(tmp_path, build_dir, run_win, driver, launcher_copy, hosts):
    """publish(with_game, held) serves the game, holding the package at HELD when
    asked until release(); start() runs the installed launcher and returns (pid, hwnd)."""
    server = ScriptedHttpServer(hosts.update)
    reports = ReportServer(hosts.report, tmp_path / "reports.db")
    folder = launcher_copy.parent
    driver.reg_delete("HKCU", SETTINGS_KEY)
    driver.reg_set("HKCU", SETTINGS_KEY, "InstallPath", winpath(folder))
    driver.reg_set("HKCU", SETTINGS_KEY + "\\Debug", "HW", "1")
    driver.reg_set("HKCU", SETTINGS_KEY + "\\Debug", "OneFileDownload", "0")

    def publish(with_game=True, held=False):
        tree, root = tmp_path / "published", tmp_path / "www"
        for name, content in DATA.items():
            (tree / name).parent.mkdir(parents=True, exist_ok=True)
            (tree / name).write_bytes(content)
        if with_game:
            shutil.copy(build_dir / "game" / "Tarnhold.exe", tree / "Tarnhold.exe")
        result = run_win(build_dir / "publisher.exe", winpath(tree), winpath(root), timeout=300)
        assert result.returncode == 0, result.stderr.decode(errors="replace")
        # The served tree is a link to the publisher's current generation.
        served = (root / "tarnhold2").resolve()
        for path in (p for p in served.rglob("*") if p.is_file()):
            route, data = "/tarnhold2/" + path.relative_to(served).as_posix(), path.read_bytes()
            server.routes[route] = Reply(body=data, pause=len(data) // 2) if held and route == HELD else FileRoute(data)

    def start():
        pid = driver.start(launcher_copy, cwd=folder)
        window = driver.wait_window(pid, WAIT_MS)
        assert window is not None and window[1] == MAIN_TITLE
        return pid, window[0]

    class Game:
        pass
    g = Game()
    g.folder, g.driver, g.publish, g.start, g.reports = folder, driver, publish, start, reports
    g.release = server.released.set
    yield g
    server.stop()
    reports.stop()
    driver.reg_delete("HKCU", SETTINGS_KEY)


def finished(driver, hwnd):
    return wait_for(lambda: driver.state(hwnd, START_GAME)[0])


def events(reports):
    return [dict(r["fields"])["event"] for r in reports.reports("events")]


def starts(folder):
    log = folder / "starts.log"
    return len(log.read_text().splitlines()) if log.exists() else 0


def titled(driver, pid, title):
    """hwnd of the process's visible window with this title, or None."""
    return next((hwnd for hwnd, _, text in driver.windows(pid) if text == title), None)


def dialog(driver, pid, title):
    wait_for(lambda: titled(driver, pid, title), 30)
    return titled(driver, pid, title)


def test_a_whole_update_in_the_window(game):
    driver = game.driver
    game.publish()
    pid, hwnd = game.start()
    assert finished(driver, hwnd)

    assert driver.text(hwnd, STATUS) == UP_TO_DATE
    count = re.fullmatch(r"Файлов загружено (\d+) из (\d+) \((.+) / (.+)\)", driver.text(hwnd, COUNT_LINE))
    assert count and count[1] == count[2] == str(len(DATA) + 1) and count[3] == count[4] != "0 bytes"
    assert driver.send(hwnd, TOTAL_BAR, PBM_GETPOS) == driver.send(hwnd, TOTAL_BAR, PBM_GETRANGE, 0) > 0
    assert not driver.state(hwnd, SPEED)[1]
    assert wait_for(lambda: events(game.reports) == ["1", "2"], 10)

    # The log opens to the full height and closes to half a button below the toggle.
    toggle = driver.state(hwnd, LOG_TOGGLE)[2]
    collapsed = driver.state(hwnd)[2]
    assert collapsed[3] == toggle[3] + (toggle[3] - toggle[1]) // 2 and not driver.state(hwnd, LOG)[1]
    assert driver.text(hwnd, LOG_TOGGLE) == COLLAPSED
    driver.press(hwnd, LOG_TOGGLE)
    assert wait_for(lambda: driver.state(hwnd, LOG)[1], 10)
    expanded = driver.state(hwnd)[2]
    assert expanded[3] > driver.state(hwnd, LOG)[2][3] and expanded[:3] == collapsed[:3]
    assert driver.text(hwnd, LOG_TOGGLE) == EXPANDED and "readme.txt" in driver.text(hwnd, LOG)
    driver.press(hwnd, LOG_TOGGLE)
    assert wait_for(lambda: driver.state(hwnd)[2] == collapsed, 10) and driver.text(hwnd, LOG_TOGGLE) == COLLAPSED

    # After the run the window closes at once, without the question.
    driver.close_window(hwnd)
    assert driver.wait(pid, 10000) == 0
    assert events(game.reports) == ["1", "2"]


@pytest.mark.parametrize("how", ["start after update", "two presses"])
def test_the_game_starts_once_and_the_launcher_closes(game, how):
    driver = game.driver
    game.publish(held=how == "start after update")
    pid, hwnd = game.start()
    if how == "start after update":
        driver.press(hwnd, AUTO_START)
        assert wait_for(lambda: driver.send(hwnd, AUTO_START, BM_GETCHECK) == 1, 10)
        game.release()
    else:
        assert finished(driver, hwnd)
        driver.click(hwnd, START_GAME)
        driver.click(hwnd, START_GAME)
    # The stand-in signals its event and the launcher closes itself.
    assert driver.wait(pid, WAIT_MS) == 0
    assert starts(game.folder) == 1
    assert events(game.reports) == ["1", "2", "3"]


def test_a_missing_game_is_told_at_every_press(game):
    driver = game.driver
    game.publish(with_game=False)
    pid, hwnd = game.start()
    assert finished(driver, hwnd)
    for press in (1, 2):
        driver.click(hwnd, START_GAME)
        box = dialog(driver, pid, LAUNCH_FAILED)
        assert box is not None and driver.text(box, MESSAGE_TEXT) == NOT_FOUND
        driver.click(box, IDOK)
        assert wait_for(lambda: titled(driver, pid, LAUNCH_FAILED) is None, 10)
        assert wait_for(lambda: events(game.reports)[2:] == ["3"] * press, 10)
    driver.close_window(hwnd)
    assert driver.wait(pid, 10000) == 0


def test_a_game_that_crashed_has_the_next_run_check_every_file(game):
    driver = game.driver
    game.publish()
    pid, hwnd = game.start()
    assert finished(driver, hwnd)
    (game.folder / "standin.txt").write_text("crash")
    driver.click(hwnd, START_GAME)
    # The game ended without signalling: the launcher closes at its next tick.
    assert driver.wait(pid, 30000) == 0
    assert list((game.folder / "Errors").glob("* Error.txt"))

    # Damage that only a check of the digests finds: same size, same time.
    readme = game.folder / "readme.txt"
    kept = readme.stat()
    readme.write_bytes(b"x" * kept.st_size)
    os.utime(readme, ns=(kept.st_atime_ns, kept.st_mtime_ns))
    pid, hwnd = game.start()
    assert finished(driver, hwnd)
    assert readme.read_bytes() == DATA["readme.txt"]
    assert game.reports.reports("errors") and not list((game.folder / "Errors").glob("*.txt"))
    driver.close_window(hwnd)
    assert driver.wait(pid, 10000) == 0


def test_closing_during_the_run_asks_why(game):
    driver = game.driver
    game.publish(held=True)
    pid, hwnd = game.start()

    driver.close_window(hwnd)
    poll = dialog(driver, pid, POLL_TITLE)
    assert poll is not None
    driver.click(poll, IDCANCEL)
    assert wait_for(lambda: titled(driver, pid, POLL_TITLE) is None, 10)
    assert driver.wait(pid, 1000) is None and not driver.state(hwnd, START_GAME)[0]

    driver.close_window(hwnd)
    poll = dialog(driver, pid, POLL_TITLE)
    driver.press(poll, ANSWER_LATER)
    driver.press(poll, IDOK)
    # The run is told to stop once the report of why is sent; then the package may go on.
    assert wait_for(lambda: events(game.reports)[-1:] == ["11"], 30)
    game.release()
    assert driver.wait(pid, 30000) == 0
    stop = [dict(r["fields"]) for r in game.reports.reports("events")][-1]
    assert (stop["event"], stop["option"], "text" in stop) == ("11", "5", False)
