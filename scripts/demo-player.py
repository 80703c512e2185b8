#!/usr/bin/python3
"""Plays the demo's player on a display without a screen: starts the
installed launcher, saves screenshots while it updates and once it has
finished, presses "Start Game" and saves the stand-in game's window.

    demo-player.py BUILD_DIR GAME_FOLDER
"""
import os
import pathlib
import subprocess
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "tests" / "integration"))
from conftest import wait_for  # noqa: E402
from windriver import WinDriver  # noqa: E402

START_GAME = 1005
UPDATE_SECONDS = 300


def screenshot(path):
    subprocess.run(["import", "-window", "root", str(path)], check=True)
    print("Screenshot: %s" % path)


def main():
    build, game = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    shots = build / "demo"
    driver = WinDriver(["wine", str(build / "windriver.exe")], dict(os.environ))
    try:
        pid = driver.start(game / "TarnholdLauncher.exe", cwd=game)
        window = driver.wait_window(pid, 60000)
        if window is None:
            sys.exit("demo: the launcher showed no window")
        hwnd = window[0]
        time.sleep(3)
        screenshot(shots / "updating.png")
        if not wait_for(lambda: driver.state(hwnd, START_GAME)[0], UPDATE_SECONDS):
            screenshot(shots / "finished.png")
            sys.exit("demo: the update did not finish within %d s" % UPDATE_SECONDS)
        time.sleep(0.5)
        screenshot(shots / "finished.png")
        print("The update finished: %s" % driver.text(hwnd, 1001))
        driver.click(hwnd, START_GAME)
        # The stand-in game signals the launcher, which closes itself.
        if driver.wait(pid, 30000) is None:
            sys.exit("demo: the launcher did not close after starting the game")
        time.sleep(1)
        screenshot(shots / "game.png")
        print("Start Game started the stand-in game; the launcher closed itself")
    finally:
        driver.close()


if __name__ == "__main__":
    main()
