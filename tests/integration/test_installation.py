"""Installation and uninstallation as a player meets them: the real launcher
under Wine, driven through its dialogs and message boxes, its results read
back from the registry, the disk and the shortcuts (through shell_link.exe)."""
import os
import pathlib
import shutil
import struct
import time

import pytest

from conftest import give_hosts, run_win, wait_for, winpath
from nginx_server import Nginx
from update_files import Entry, encode_index, pattern

SETTINGS_KEY = "Software\\OrvixGames\\Tarnhold"
MAKER_KEY = "Software\\OrvixGames"
UNINSTALL_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarnhold"
INSTALL_TITLE = "Tarnhold. Установка"
CONFIRM = "Вы уверены в том что хотите удалить \"Tarnhold\"?"
DONE = "Удаление завершено."
KEPT = ("Удаление завершено.\nПапка \"%s\" содержит не только игру, поэтому из неё удалены только файлы, "
        "записанные программой запуска; всё остальное в ней сохранено.")
FOLDER_ERROR = "Ошибка при создании директории"
NOT_FULL = "Папка \"%s\" указана не полностью. Укажите папку, начинающуюся с диска, например C:\\Games\\Tarnhold."
RUNNING = "Tarnhold запущен из этой папки."
SOUND = ("Не удалось инициализировать звуковую библиотеку DirectX XACT\nДля получения звука в игре обновите "
         "компоненты DirectX\n\nОткрыть страницу загрузки DirectX на сайте компании Microsoft?")
DLL_OVERRIDES = "Software\\Wine\\DllOverrides"
WINE_D3D_KEY = "Software\\Wine\\Direct3D"
# The graphics preset installation stores for Wine's adapter (four render
# targets) with pixel shaders limited to 3 or 2: the class's detail levels,
# then what every class stores (PlayersFarplaneCoeff stays unwritten).
DETAILS = ["PerfomanceOptions\\" + name for name in
           "GrassFarPlaneMultiplier GrassDensity EffectsDensity ObjectsAndEffectsFarplane ReflectionFarplane".split()]
CLASS_DETAIL = {3: "0.700000", 2: "0.500000"}
LIGHTING, OPTIONS = "Engine\\Graphics\\GlobalLighting\\", "Engine\\Graphics\\Options\\"
PRESET = dict(zip([LIGHTING + "GlobalLightingMode", LIGHTING + "FilterMode", OPTIONS + "TextureDownsampling",
                   OPTIONS + "TrilinearFiltering", "PerfomanceOptions\\WaterReflection",
                   "PerfomanceOptions\\PlayersFarplaneCoeff"] + [LIGHTING + "SMSettings\\" + name for name in
                   "SMSize NumShadowFrustums ShadowMapFarPlane0 ShadowMapFarPlane1 ShadowMapFarPlane2 "
                   "ShadowMapFarPlane3".split()], ["0", "0", "1", "0", "1", None, "1024", "4", "15", "40", "100", "200"]))
REG_DWORD = 4
BM_GETCHECK = 0xF0
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7
IDC_FOLDER = 1010
IDC_DESKTOP_SHORTCUT = 1008
DESKTOP, PROGRAMS, DOCUMENTS = 0x10, 0x02, 0x05
WAIT_MS = 20000
GAME_FILES = ["Tarnhold.exe", "data/game.bin", "data/game.bin.zip", "new.bin.zip", "tarnhold2_full.zip",
              "fileindex.dat", "cachedindex.dat", "datasources.txt", "downloading.dat"]
PLAYER_FILES = ["notes.txt", "data/mine.txt", ".hidden"]


def shell_folder(build_dir, csidl):
    result = run_win(build_dir / "shell_link.exe", "folder", hex(csidl))
    return bytes.fromhex(result.stdout.decode().strip()).decode()


def unix(path):
    """A path of the Wine prefix's drives as Linux sees it."""
    return pathlib.Path(os.environ["WINEPREFIX"], "dosdevices", path[:2].lower(), *path[3:].split("\\"))


def read_link(build_dir, path):
    """(target, description) of a shortcut, or None when there is none."""
    result = run_win(build_dir / "shell_link.exe", "read", path.encode().hex())
    return tuple(bytes.fromhex(line).decode() for line in result.stdout.decode().split()) or None


def texts(build_dir, hwnd):
    lines = run_win(build_dir / "windowtext.exe", hwnd).stdout.decode().splitlines()
    return [bytes.fromhex(line.split(" ", 1)[1]).decode() for line in lines if " " in line]


@pytest.fixture
def places(driver, build_dir):
    """The shell folders the launcher writes to, cleaned of what the tests put there."""
    folders = {"desktop": shell_folder(build_dir, DESKTOP), "documents": shell_folder(build_dir, DOCUMENTS),
               "menu": shell_folder(build_dir, PROGRAMS) + "\\Orvix Games"}
    prefix = pathlib.Path(os.environ["WINEPREFIX"]).resolve()
    for folder in folders.values():
        assert prefix in unix(folder).resolve().parents, "%s lies outside the Wine prefix" % folder

    def clean():
        for key in (SETTINGS_KEY, UNINSTALL_KEY, MAKER_KEY, WINE_D3D_KEY):
            driver.reg_delete("HKCU", key)
        unix(folders["desktop"] + "\\Tarnhold.lnk").unlink(missing_ok=True)
        shutil.rmtree(unix(folders["menu"]), ignore_errors=True)
        documents = unix(folders["documents"])
        for name in GAME_FILES + PLAYER_FILES + ["TarnholdLauncher.exe"]:
            (documents / name).unlink(missing_ok=True)
        for name in ("data", "Screenshots"):
            shutil.rmtree(documents / name, ignore_errors=True)
    clean()
    yield folders
    clean()


def open_setup(driver, exe):
    pid = driver.start(exe)
    # A message the dialog shows when it opens may come first in the window list.
    deadline = time.time() + WAIT_MS / 1000
    while time.time() < deadline:
        dialogs = [w[0] for w in driver.windows(pid) if w[2] == INSTALL_TITLE]
        if dialogs:
            return pid, dialogs[0]
        time.sleep(0.1)
    driver.kill(pid)
    raise AssertionError("no installation dialog")


def install(driver, exe, folder, typed=None, window_ms=WAIT_MS):
    """Installs into folder (typed as its Windows path); the installed copy's window."""
    pid, dialog = open_setup(driver, exe)
    driver.set_text(dialog, IDC_FOLDER, typed or winpath(folder))
    driver.press(dialog, IDOK)
    assert driver.wait(pid, WAIT_MS) == 1
    window = driver.exe_window((typed or winpath(folder)) + "\\" + exe.name, window_ms)
    assert window is not None, "the installed launcher shows no window"
    return window


def installed(driver, exe, folder, typed=None):
    """An installation into folder whose launcher is closed again."""
    driver.kill_window(install(driver, exe, folder, typed)[0])
    return folder / exe.name


def uninstall(driver, build_dir, exe, answer=IDYES):
    """Runs "/uninstall" with that answer; the texts of the message that follows."""
    pid = driver.start(exe, "/uninstall")
    box, shown = message(driver, build_dir, pid)
    assert CONFIRM in shown
    driver.click(box, answer)
    if answer == IDYES:
        box, shown = message(driver, build_dir, pid, after=box)
        driver.click(box, IDOK)
    assert driver.wait(pid, WAIT_MS) == 0
    return shown


def write_files(folder, names):
    for name in names:
        (folder / name).parent.mkdir(parents=True, exist_ok=True)
        (folder / name).write_bytes(name.encode())


def listing(folder):
    return sorted(p.relative_to(folder).as_posix() for p in folder.rglob("*"))


def message(driver, build_dir, pid, after=None):
    """The hwnd and texts of the message box the process shows (another than after)."""
    deadline = time.time() + WAIT_MS / 1000
    while time.time() < deadline:
        boxes = [w for w in driver.windows(pid) if w[2] == "Tarnhold" and w[0] != after]
        if boxes:
            return boxes[0][0], texts(build_dir, boxes[0][0])
        time.sleep(0.1)
    raise AssertionError("no message box")


def expect_gone(path, seconds=20):
    deadline = time.time() + seconds
    while path.exists() and time.time() < deadline:
        time.sleep(0.2)
    assert not path.exists()


def entry_values(driver):
    names = ("DisplayName", "DisplayIcon", "InstallLocation", "UninstallString", "NoModify", "NoRepair",
             "Publisher", "URLInfoAbout", "HelpLink", "URLUpdateInfo")
    values = {name: driver.reg_get("HKCU", UNINSTALL_KEY, name) for name in names}
    # Texts go without their terminator; Wine's registry adds one when read.
    return {name: v and (v[1].decode("utf-16-le").rstrip("\0") if v[0] == 1 else int.from_bytes(v[1], "little"))
            for name, v in values.items()}


def stored_preset(driver):
    return {path: driver.reg_text("HKCU", SETTINGS_KEY + "\\" + path.rpartition("\\")[0], path.rpartition("\\")[2])
            for path in list(PRESET) + DETAILS}


# A blank in the launcher's name, as a browser's second download has it,
# must not cut the command line the installed launcher is started with.
@pytest.mark.parametrize("addresses, name, shaders", [({}, "TarnholdLauncher.exe", 3),
                                                      ({164: "_", 165: "_"}, "TarnholdLauncher (1).exe", 2)])
def test_install_into_a_new_folder(driver, places, build_dir, launcher_copy, tmp_path, addresses, name, shaders):
    launcher_copy = launcher_copy.rename(launcher_copy.with_name(name))
    for entry, text in addresses.items():
        assert run_win(build_dir / "set_string.exe", winpath(launcher_copy).encode().hex(), 1049, entry,
                       text.encode().hex()).returncode == 0
    built = launcher_copy.read_bytes()
    driver.reg_set("HKCU", WINE_D3D_KEY, "MaxShaderModelPS", struct.pack("<I", shaders), REG_DWORD)
    folder = tmp_path / "Games" / "Tarnhold"
    window = install(driver, launcher_copy, folder)
    driver.kill_window(window[0])
    installed = winpath(folder / launcher_copy.name)

    expect_gone(launcher_copy)
    assert (folder / launcher_copy.name).read_bytes() == built
    assert driver.reg_text("HKCU", SETTINGS_KEY, "InstallPath") == winpath(folder)
    assert driver.reg_text("HKCU", SETTINGS_KEY, "InstallFolderOwned") == "1"
    assert driver.reg_text("HKCU", SETTINGS_KEY + "\\Game", "Language") == "Russian"
    assert stored_preset(driver) == {**PRESET, **{name: CLASS_DETAIL[shaders] for name in DETAILS}}
    links = {places["desktop"] + "\\Tarnhold.lnk": (installed, "Tarnhold"),
             places["menu"] + "\\Tarnhold\\Tarnhold.lnk": (installed, "Tarnhold"),
             places["menu"] + "\\Tarnhold\\Папка скриншотов.lnk": (winpath(folder / "Screenshots"),
                                                                 "Папка скриншотов")}
    assert {path: read_link(build_dir, path) for path in links} == links
    assert (folder / "Screenshots").is_dir()
    assert unix(places["menu"] + "\\Tarnhold\\Официальный сайт.lnk").exists()
    expected = {"DisplayName": "Tarnhold", "DisplayIcon": installed + ",0", "InstallLocation": winpath(folder),
                "UninstallString": '"%s" /uninstall' % installed, "NoModify": 1, "NoRepair": 1,
                "Publisher": "Orvix Games", "URLInfoAbout": "http://127.0.0.1/",
                "HelpLink": None if 164 in addresses else "http://127.0.0.1/support/",
                "URLUpdateInfo": None if 165 in addresses else "http://127.0.0.1/download/"}
    assert entry_values(driver) == expected


def test_install_into_the_folder_it_runs_from_copies_nothing_and_passes_no_switch(driver, places, launcher_copy):
    # With the switch the installed launcher would try to delete itself for
    # 10 s before its window came, or succeed.
    window = install(driver, launcher_copy, launcher_copy.parent, window_ms=8000)
    assert listing(launcher_copy.parent) == ["Screenshots", launcher_copy.name]
    driver.kill_window(window[0])


@pytest.mark.parametrize("typed", ["missing drive", "Games", "C:Games", "\\Games"])
def test_a_folder_that_cannot_be_made_or_is_not_full_is_refused_and_the_dialog_stays(driver, build_dir, places,
                                                                                     launcher_copy, typed):
    if typed == "missing drive":
        drive = next(d for d in "QRSTUVWXY" if not unix(d + ":\\").exists())
        typed = drive + ":\\Games\\Tarnhold"
        refusal = '%s "%s"\r\nInvalid parameter.' % (FOLDER_ERROR, typed)
    else:
        refusal = NOT_FULL % typed
    pid, dialog = open_setup(driver, launcher_copy)
    driver.set_text(dialog, IDC_FOLDER, typed)
    driver.press(dialog, IDOK)
    box, shown = message(driver, build_dir, pid, after=dialog)
    assert refusal in shown
    driver.click(box, IDOK)
    assert driver.wait(pid, 1000) is None and driver.state(dialog)[1]
    driver.press(dialog, IDCANCEL)
    assert driver.wait(pid, WAIT_MS) == IDCANCEL
    assert driver.reg_get("HKCU", SETTINGS_KEY, "InstallPath") is None
    assert listing(launcher_copy.parent) == [launcher_copy.name]


@pytest.mark.parametrize("tail, running", [("/uninstall", False), ("/uninstall and more", False),
                                           ("/uninstall", True)])
def test_uninstall_answered_no_or_stopped_while_the_launcher_runs_changes_nothing(driver, build_dir, places,
                                                                                 launcher_copy, tmp_path, tail,
                                                                                 running):
    launcher = installed(driver, launcher_copy, tmp_path / "Tarnhold")
    if running:
        driver.start(launcher)
        assert driver.exe_window(winpath(launcher), WAIT_MS) is not None

    def state():
        return (driver.reg_text("HKCU", SETTINGS_KEY, "InstallPath"), entry_values(driver), listing(launcher.parent),
                listing(unix(places["menu"])), unix(places["desktop"] + "\\Tarnhold.lnk").exists())
    before = state()
    pid = driver.start(launcher, tail)
    box, shown = message(driver, build_dir, pid)
    assert CONFIRM in shown
    driver.click(box, IDYES if running else IDNO)
    if running:
        box, shown = message(driver, build_dir, pid, after=box)
        assert any(text.startswith(RUNNING) for text in shown)
        driver.click(box, IDCANCEL)
    assert driver.wait(pid, WAIT_MS) == 0
    assert state() == before
    if running:
        driver.kill_window(driver.exe_window(winpath(launcher), 0)[0])


@pytest.mark.parametrize("others", [False, True])
def test_uninstall_removes_the_installation_but_dot_names_and_what_others_keep(driver, build_dir, places,
                                                                               launcher_copy, tmp_path, others):
    launcher = installed(driver, launcher_copy, tmp_path / "Tarnhold")
    write_files(launcher.parent, ["data/maps/north.map", "readme.txt", ".keep", ".git/config"])
    # A link below the top level goes as a link, not with what it points to.
    write_files(tmp_path, ["outside/kept.txt"])
    os.symlink(tmp_path / "outside", launcher.parent / "data" / "linked", target_is_directory=True)
    if others:
        driver.reg_set("HKCU", MAKER_KEY, "HWID", "{9F2C1B7E-0000-4000-8000-000000000001}")
        unix(places["menu"] + "\\Other Game").mkdir()
    else:
        # Without the machine identifier the installed launcher made.
        driver.reg_delete("HKCU", MAKER_KEY)
        driver.reg_set("HKCU", SETTINGS_KEY, "InstallPath", winpath(launcher.parent))
        driver.reg_set("HKCU", SETTINGS_KEY, "InstallFolderOwned", "1")

    assert DONE in uninstall(driver, build_dir, launcher)
    expect_gone(launcher)
    assert listing(tmp_path / "outside") == ["kept.txt"]
    # Wine cannot unlink a link to a folder (Windows removes it as a link).
    assert set(listing(launcher.parent)) - {"data", "data/linked"} == {".git", ".git/config", ".keep"}
    assert not driver.reg_key_exists("HKCU", SETTINGS_KEY) and not driver.reg_key_exists("HKCU", UNINSTALL_KEY)
    assert driver.reg_key_exists("HKCU", MAKER_KEY) == others
    assert not unix(places["desktop"] + "\\Tarnhold.lnk").exists()
    assert listing(unix(places["menu"])) == (["Other Game"] if others else [])
    assert unix(places["menu"]).exists() == others



@pytest.mark.parametrize("place", ["documents", "unrecorded", "own"])
def test_uninstall_from_a_folder_the_launcher_found_in_use_removes_only_its_files(driver, build_dir, places,
                                                                                 launcher_copy, tmp_path, place):
    found = []
    if place == "documents":
        folder = unix(places["documents"])
        installed(driver, launcher_copy, folder, typed=places["documents"])
        shown_folder = places["documents"]
    elif place == "own":
        # A folder of the player's games, none of the system's.
        folder = tmp_path / "Games"
        found = ["OtherGame", "OtherGame/saves", "OtherGame/saves/slot1.sav"]
        write_files(folder, ["OtherGame/saves/slot1.sav", "notes.txt"])
        installed(driver, launcher_copy, folder)
        assert driver.reg_text("HKCU", SETTINGS_KEY, "InstallFolderOwned") == "0"
        shown_folder = winpath(folder)
    else:
        folder = tmp_path / "My things"
        folder.mkdir()
        shutil.copy(launcher_copy, folder / launcher_copy.name)
        shown_folder = winpath(folder)
    launcher = folder / launcher_copy.name
    write_files(folder, GAME_FILES + PLAYER_FILES)
    entries = [Entry(name) for name in ("Tarnhold.exe", "data/game.bin", launcher_copy.name, "../outside.txt")]
    (folder / "cachedindex.dat").write_bytes(encode_index(entries))
    (folder / "fileindex.dat").write_bytes(encode_index([Entry("new.bin")]))
    (tmp_path / "outside.txt").write_bytes(b"not ours")

    assert KEPT % shown_folder in uninstall(driver, build_dir, shown_folder + "\\" + launcher_copy.name)
    expect_gone(launcher)
    assert listing(folder) == sorted(["data"] + PLAYER_FILES + found)
    assert place != "own" or (folder / "OtherGame/saves/slot1.sav").read_bytes() == b"OtherGame/saves/slot1.sav"
    assert (tmp_path / "outside.txt").exists()


@pytest.mark.parametrize("engine", [True, False])
def test_the_dialog_offers_the_directx_page_once_when_the_sound_library_is_missing(driver, build_dir, places,
                                                                                   launcher_copy, engine):
    if not engine:
        # Wine's engine behind the release class, switched off.
        driver.reg_set("HKCU", DLL_OVERRIDES, "xactengine3_6", "")
    try:
        pid, dialog = open_setup(driver, launcher_copy)
        if engine:
            # The click is queued behind the check: once it has toggled the
            # box, the check is over, and a notice would be on screen.
            driver.press(dialog, IDC_DESKTOP_SHORTCUT)
            assert wait_for(lambda: driver.send(dialog, IDC_DESKTOP_SHORTCUT, BM_GETCHECK) == 0, WAIT_MS / 1000)
            assert [w[0] for w in driver.windows(pid)] == [dialog]
        else:
            box, shown = message(driver, build_dir, pid, after=dialog)
            assert SOUND in shown
            driver.click(box, IDCANCEL)
        driver.press(dialog, IDCANCEL)
        assert driver.wait(pid, WAIT_MS) == IDCANCEL
    finally:
        driver.reg_set("HKCU", DLL_OVERRIDES, "xactengine3_6", "builtin")


def test_first_start_of_a_downloaded_launcher_ends_in_the_installed_one_updating_the_game(driver, build_dir, places,
                                                                                          tmp_path, hosts):
    downloaded = tmp_path / "Downloads" / "TarnholdLauncher.exe"
    downloaded.parent.mkdir()
    shutil.copy(build_dir / "TarnholdLauncher.exe", downloaded)
    give_hosts(downloaded, hosts)
    game = {"Tarnhold.exe": pattern(80_000, 1), "data/maps/north keep.map": pattern(200_000, 2)}
    published = tmp_path / "published"
    for name, content in game.items():
        (published / name).parent.mkdir(parents=True, exist_ok=True)
        (published / name).write_bytes(content)
    nginx = Nginx(tmp_path / "nginx", hosts.update)
    try:
        assert run_win(build_dir / "publisher.exe", winpath(published), winpath(nginx.root), timeout=300).returncode == 0
        folder = tmp_path / "Games" / "Tarnhold"
        window = install(driver, downloaded, folder)
        deadline = time.time() + 120
        while time.time() < deadline and not all(
                (folder / name).exists() and (folder / name).read_bytes() == data for name, data in game.items()):
            time.sleep(0.5)
        driver.kill_window(window[0])
    finally:
        nginx.stop()
    assert all((folder / name).read_bytes() == data for name, data in game.items())
    assert not downloaded.exists()
