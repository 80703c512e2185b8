"""The compatibility check on the first-start road of the real launcher. Wine's
own Direct3D settings give the launcher the adapters to judge: a shader model
limit makes Wine report older shader versions, and the Vulkan renderer (whose
library the test machine lacks) makes Direct3D 9 unavailable."""
import re
import struct

import pytest

from conftest import run_win

SETTINGS_KEY = "Software\\OrvixGames\\Tarnhold"
WINE_D3D_KEY = "Software\\Wine\\Direct3D"
INSTALL_TITLE = "Tarnhold. Установка"
WINDOW_WAIT_MS = 20000
REG_DWORD = 4
IDOK, IDCANCEL = 1, 2

REFUSAL = ("К сожалению, Ваш видеоадаптер не удовлетворяет минимальным требованиям игры, либо не установлены "
           "драйверы, позволяющие использовать аппаратные возможности видеоадаптера.\n\nУстройство: {device}, "
           "пиксельные шейдеры: {ps}, вершинные шейдеры: {vs}\n\nМинимально необходимо: пиксельные шейдеры: 2.0, "
           "вершинные шейдеры: 2.0")


@pytest.fixture(autouse=True)
def clean_registry(driver):
    driver.reg_delete("HKCU", SETTINGS_KEY)
    driver.reg_delete("HKCU", WINE_D3D_KEY)
    yield
    driver.reg_delete("HKCU", WINE_D3D_KEY)
    driver.reg_delete("HKCU", SETTINGS_KEY)


def limit_shader_models(driver, pixel, vertex):
    driver.reg_set("HKCU", WINE_D3D_KEY, "MaxShaderModelPS", struct.pack("<I", pixel), REG_DWORD)
    driver.reg_set("HKCU", WINE_D3D_KEY, "MaxShaderModelVS", struct.pack("<I", vertex), REG_DWORD)


def window_texts(build_dir, hwnd):
    result = run_win(build_dir / "windowtext.exe", hwnd)
    assert result.returncode == 0, result.stderr
    return [bytes.fromhex(line.split(" ", 1)[1]).decode("utf-8") if " " in line else ""
            for line in result.stdout.decode().splitlines()]


def first_window(driver, pid):
    window = driver.wait_window(pid, WINDOW_WAIT_MS)
    assert window is not None, "no window appeared"
    return window


def test_pixel_shader_14_is_refused_with_both_versions_and_the_launcher_exits(driver, launcher_copy, build_dir):
    limit_shader_models(driver, pixel=1, vertex=2)
    pid = driver.start(launcher_copy)

    hwnd, title = first_window(driver, pid)
    assert title == "Tarnhold"
    texts = window_texts(build_dir, hwnd)
    pattern = re.escape(REFUSAL.format(device="DEVICE", ps="1.4", vs="2.0")).replace("DEVICE", "(.+)")
    matches = [re.fullmatch(pattern, text, re.S) for text in texts]
    assert any(matches), texts
    device = next(m.group(1) for m in matches if m)
    assert device == device.rstrip(" ")

    driver.click(hwnd, IDOK)
    assert driver.wait(pid, 20000) == 0
    assert driver.find_window(INSTALL_TITLE, 0) is None


def test_pixel_shader_20_with_vertex_shader_11_passes(driver, launcher_copy):
    limit_shader_models(driver, pixel=2, vertex=1)
    pid = driver.start(launcher_copy)

    hwnd, title = first_window(driver, pid)
    assert title == INSTALL_TITLE
    driver.close_window(hwnd)
    assert driver.wait(pid, 10000) == IDCANCEL


@pytest.mark.parametrize("button", [IDOK, IDCANCEL])
def test_without_direct3d_the_download_question_comes_and_start_up_goes_on(driver, launcher_copy, build_dir,
                                                                           button):
    driver.reg_set("HKCU", WINE_D3D_KEY, "renderer", "vulkan")
    pid = driver.start(launcher_copy)

    hwnd, title = first_window(driver, pid)
    if title == INSTALL_TITLE:
        driver.close_window(hwnd)
        driver.wait(pid, 10000)
        pytest.skip("this Wine creates Direct3D 9 with its Vulkan renderer")
    assert title == "Error"
    assert "Wrong version of DirectX 9c. Go to download page?" in window_texts(build_dir, hwnd)

    driver.click(hwnd, button)
    install = driver.find_window(INSTALL_TITLE, WINDOW_WAIT_MS)
    assert install is not None
    driver.close_window(install)
    assert driver.wait(pid, 10000) == IDCANCEL
