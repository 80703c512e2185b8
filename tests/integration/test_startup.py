"""The launcher's process entry, run as real processes under Wine: switch
dispatch, the self-update chain, the clean-up run after uninstallation, the
installed and first-start roads and the single-instance check."""
import shutil

import pytest

from conftest import wait_for, winpath

SETTINGS_KEY = "Software\\OrvixGames\\Tarnhold"
INSTALL_TITLE = "Tarnhold. Установка"
MAIN_TITLE = "Tarnhold. Обновление"
POLL_TITLE = "Вопрос"
IDOK = 1
# A closing launcher stops its run and reports why; a busy machine slows both.
EXIT_WAIT_MS = 30000
WINDOW_WAIT_MS = 20000


@pytest.fixture(autouse=True)
def clean_registry(driver):
    driver.reg_delete("HKCU", SETTINGS_KEY)
    driver.reg_delete("HKCU", "Software\\Orvix Games")
    yield
    driver.reg_delete("HKCU", SETTINGS_KEY)


def install_here(driver, exe):
    driver.reg_set("HKCU", SETTINGS_KEY, "InstallPath", winpath(exe.parent))


def close_main_window(driver, hwnd):
    """No update server answers here, so the run never ends and closing asks why: the answer is OK."""
    driver.close_window(hwnd)
    poll = driver.find_window(POLL_TITLE, WINDOW_WAIT_MS)
    assert poll is not None
    driver.click(poll, IDOK)


def expect_window_then_close(driver, pid, title):
    window = driver.wait_window(pid, WINDOW_WAIT_MS)
    assert window is not None, "no window appeared"
    assert window[1] == title
    if title == MAIN_TITLE:
        close_main_window(driver, window[0])
    else:
        driver.close_window(window[0])
    # Closing the installation dialog cancels it, which ends the launcher with 2.
    assert driver.wait(pid, EXIT_WAIT_MS) == (2 if title == INSTALL_TITLE else 0)


def expect_exit_without_window(driver, pid):
    assert driver.wait(pid, 20000) == 0
    assert driver.windows(pid) == []


@pytest.mark.parametrize("tail", [
    None,
    "",
    "-deletecopyexe ",          # a trailing blank makes it another tail
    "-DELETECOPYEXE",           # switches are case-sensitive
    "-copytooriginalnameandrestart ",
    "/uninstal",                # a shorter prefix is no switch
    "unknown -switch",
])
def test_tails_without_a_switch_start_normally(driver, launcher_copy, tail):
    pid = driver.start(launcher_copy, tail)
    expect_window_then_close(driver, pid, INSTALL_TITLE)


def test_cleanup_switch_exits_with_zero_and_no_window(driver, launcher_copy):
    pid = driver.start(launcher_copy, "-deletefile:")
    expect_exit_without_window(driver, pid)


def test_deletedownloadedexe_deletes_and_starts_normally(driver, launcher_copy, tmp_path):
    downloaded = tmp_path / "downloaded setup.exe"
    downloaded.write_bytes(b"MZ old installer")
    pid = driver.start(launcher_copy, "-deletedownloadedexe:" + winpath(downloaded))
    expect_window_then_close(driver, pid, INSTALL_TITLE)
    assert not downloaded.exists()


# None of these can be deleted: the launcher goes on at once, not after
# retrying for seconds.
@pytest.mark.parametrize("kind", ["missing", "overlong", "folder", "read-only"])
def test_deletedownloadedexe_of_what_cannot_be_deleted_starts_normally(driver, launcher_copy, tmp_path, kind):
    downloaded = tmp_path / ("x" * 300 if kind == "overlong" else "downloaded.exe")
    if kind == "folder":
        downloaded.mkdir()
    elif kind == "read-only":
        downloaded.write_bytes(b"MZ old installer")
        downloaded.chmod(0o444)
    pid = driver.start(launcher_copy, "-deletedownloadedexe:" + winpath(tmp_path) + "\\" + downloaded.name)
    expect_window_then_close(driver, pid, INSTALL_TITLE)
    assert kind not in ("folder", "read-only") or downloaded.exists()


def test_self_update_chain_replaces_launcher_and_removes_copy(driver, launcher_copy):
    folder = launcher_copy.parent
    copy = folder / (launcher_copy.name + ".copy.exe")
    shutil.copy(launcher_copy, copy)
    new_launcher = copy.read_bytes()
    launcher_copy.write_bytes(b"MZ the old launcher")
    install_here(driver, launcher_copy)

    copy_pid = driver.start(copy, "-copytooriginalnameandrestart")
    assert driver.wait(copy_pid, 30000) == 0
    assert driver.windows(copy_pid) == []

    # The new launcher deletes the copy and goes on to its main window.
    window = driver.exe_window(winpath(launcher_copy), WINDOW_WAIT_MS)
    assert window is not None and window[1] == MAIN_TITLE
    assert launcher_copy.read_bytes() == new_launcher
    assert not copy.exists()
    close_main_window(driver, window[0])


def test_copy_stage_leaves_files_alone_unless_it_runs_as_a_copy(driver, launcher_copy):
    # Without its ".copy.exe" ending, two extensions less would name the game.
    game = launcher_copy.parent / "Tarnhold.exe"
    game.write_bytes(b"MZ the game")
    renamed = launcher_copy.parent / "Tarnhold.exe.old.exe"
    shutil.copy(launcher_copy, renamed)

    pid = driver.start(renamed, "-copytooriginalnameandrestart")
    expect_exit_without_window(driver, pid)
    assert game.read_bytes() == b"MZ the game"


def place_target(tmp_path):
    target_folder = tmp_path / "Orvix Games" / "Tarnhold"
    target_folder.mkdir(parents=True)
    target = target_folder / "TarnholdLauncher.exe"
    target.write_bytes(b"MZ launcher to delete")
    return target


def test_cleanup_deletes_only_after_the_named_process_ends(driver, launcher_copy, tmp_path):
    target = place_target(tmp_path)
    blocker = driver.start(launcher_copy)
    assert driver.wait_window(blocker, WINDOW_WAIT_MS) is not None

    cleaner_exe = tmp_path / "oguninst.exe"
    shutil.copy(launcher_copy, cleaner_exe)
    cleaner = driver.start(cleaner_exe, '-deletefile:"%s" -pid:%d' % (winpath(target), blocker))
    assert driver.wait(cleaner, 2000) is None
    assert target.exists()

    driver.close_window(driver.wait_window(blocker, 1000)[0])
    assert driver.wait(blocker, 10000) == 2
    assert driver.wait(cleaner, 10000) == 0
    assert not target.exists()
    assert not target.parent.exists()
    assert not target.parent.parent.exists()


def test_cleanup_without_pid_deletes_at_once_and_keeps_other_folders(driver, launcher_copy, tmp_path):
    target = place_target(tmp_path)
    (tmp_path / "Orvix Games" / "Other Game").mkdir()
    cleaner = driver.start(launcher_copy, '-deletefile:"%s"' % winpath(target))
    assert driver.wait(cleaner, 10000) == 0
    assert not target.parent.exists()
    assert (tmp_path / "Orvix Games").exists()


def test_cleanup_without_closing_quote_deletes_nothing(driver, launcher_copy, tmp_path):
    target = place_target(tmp_path)
    cleaner = driver.start(launcher_copy, '-deletefile:"%s -pid:1' % winpath(target))
    assert driver.wait(cleaner, 10000) == 0
    assert target.exists()


def test_installed_launcher_opens_main_window(driver, launcher_copy):
    install_here(driver, launcher_copy)
    pid = driver.start(launcher_copy)
    expect_window_then_close(driver, pid, MAIN_TITLE)


def test_launcher_outside_install_folder_runs_installation(driver, launcher_copy, tmp_path):
    other = tmp_path / "elsewhere"
    other.mkdir()
    shutil.copy(launcher_copy, other / launcher_copy.name)
    install_here(driver, other / launcher_copy.name)
    pid = driver.start(launcher_copy)
    expect_window_then_close(driver, pid, INSTALL_TITLE)


def test_second_start_restores_first_window_and_exits(driver, launcher_copy):
    install_here(driver, launcher_copy)
    first = driver.start(launcher_copy)
    window = driver.wait_window(first, WINDOW_WAIT_MS)
    assert window is not None
    driver.minimize(window[0])
    assert driver.iconic(window[0])

    second = driver.start(launcher_copy)
    assert driver.wait(second, 20000) == 0
    assert driver.windows(second) == []
    assert not driver.iconic(window[0])
    assert driver.wait(first, 0) is None
    close_main_window(driver, window[0])
    assert driver.wait(first, EXIT_WAIT_MS) == 0


def test_two_launchers_started_at_once_run_one(driver, launcher_copy):
    install_here(driver, launcher_copy)
    pids = [driver.start(launcher_copy), driver.start(launcher_copy)]
    assert wait_for(lambda: any(driver.wait(pid, 0) is not None for pid in pids), 30)
    ended, running = sorted(pids, key=lambda pid: driver.wait(pid, 0) is None)
    assert driver.wait(ended, 0) == 0
    window = driver.wait_window(running, WINDOW_WAIT_MS)
    assert window is not None and window[1] == MAIN_TITLE
    assert driver.windows(ended) == []
    driver.kill(running)


def test_copy_at_another_path_is_not_a_second_instance(driver, launcher_copy, tmp_path):
    install_here(driver, launcher_copy)
    first = driver.start(launcher_copy)
    assert driver.wait_window(first, WINDOW_WAIT_MS) is not None
    other = tmp_path / "other"
    other.mkdir()
    shutil.copy(launcher_copy, other / launcher_copy.name)
    second = driver.start(other / launcher_copy.name)
    expect_window_then_close(driver, second, INSTALL_TITLE)
    driver.kill(first)
