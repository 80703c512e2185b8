#!/usr/bin/python3
"""Writes a small sample game folder for the demo: the stand-in game
executable, data files in nested folders (one large enough that the update
can be watched), an empty file and a name with Cyrillic letters. The same
folder comes out of every run.

    sample-game.py FOLDER GAME_EXE
"""
import os
import pathlib
import random
import shutil
import sys


# Every file carries this time, so the published index is the same each run.
FILE_TIME = 1_717_200_000


def main():
    folder = pathlib.Path(sys.argv[1])
    shutil.rmtree(folder, ignore_errors=True)
    rng = random.Random(20240601)
    words = ["tarnhold", "keep", "north", "gate", "river", "stone", "banner", "forge"]
    files = {
        "Tarnhold.exe": pathlib.Path(sys.argv[2]).read_bytes(),
        "data/terrain.pak": rng.randbytes(6_000_000),
        "data/maps/north_keep.map": " ".join(rng.choice(words) for _ in range(40_000)).encode(),
        "data/maps/river gate.map": " ".join(rng.choice(words) for _ in range(20_000)).encode(),
        "data/sounds/wind.ogg": bytes(rng.randrange(256) for _ in range(50_000)),
        "data/empty.cfg": b"",
        "Данные/Описание.txt": "Тарнхольд — пример игры.\r\n".encode("utf-8") * 200,
        "readme.txt": b"Tarnhold sample game, published by make demo.\r\n",
    }
    for name, content in files.items():
        path = folder / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content)
        os.utime(path, (FILE_TIME, FILE_TIME))
    print("Sample game: %d files in %s" % (len(files), folder))


if __name__ == "__main__":
    main()
