#!/usr/bin/python3
"""Measures the publisher under Wine on a generated game (about 500 MB in
about 2,000 files, as bench/update_bench.py makes it):

- a full publish with --jobs 1 and with --jobs 2 (goal: 1.8 times as fast);
- a one-file patch of that game, the whole-game package rebuilt (goal: at
  most 10 s and at most a quarter of the full publish with --jobs 2);
- the whole-game package joined from per-file segments beside one DEFLATE
  stream over everything, as the publisher wrote it before (gzip -9 of the
  same stream: our codec packs exactly as gzip -9 does).

The machine's load average is printed before and after, since other work on
the same processors skews the figures.

    /usr/bin/python3 bench/publish_bench.py [--build DIR] [--keep]
"""

import argparse
import gzip
import hashlib
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import threading
import time

from digest_unpack_bench import wine_env, winpath
from update_bench import make_game

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "integration"))
from update_files import decode_index  # noqa: E402

PRODUCT_DIRECTORY = "tarnhold2"
GAME_MB = 500
GAME_FILES = 2000
MB = 1_000_000
SPEEDUP_GOAL = 1.8
PATCH_GOAL_SECONDS = 10
PATCH_GOAL_SHARE = 0.25


def publish(build, env, game, out, jobs):
    start = time.perf_counter()
    result = subprocess.run([str(ROOT / "scripts" / "wine-run.sh"), str(build / "publisher.exe"), "--jobs",
                             str(jobs), winpath(game), winpath(out)], env=env, capture_output=True)
    seconds = time.perf_counter() - start
    if result.returncode != 0:
        sys.exit(result.stderr.decode("utf-8", errors="replace"))
    summary = [line for line in result.stdout.decode("utf-8").splitlines() if line.startswith("Packed ")][-1]
    return seconds, summary


def tree_digest(tree):
    digest = hashlib.md5()
    for path in sorted(p for p in tree.rglob("*") if p.is_file()):
        digest.update(str(path.relative_to(tree)).encode() + path.read_bytes())
    return digest.hexdigest()


def single_stream_size(tree, game):
    """gzip -9 over the index image and every file, in index order."""
    image = gzip.decompress((tree / "fileindex.dat.zip").read_bytes())
    gz = subprocess.Popen(["gzip", "-9", "-c"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    size = 0

    def feed():
        gz.stdin.write(image)
        for entry in decode_index(image)[0]:
            gz.stdin.write((game / entry.name.replace("\\", "/")).read_bytes())
        gz.stdin.close()
    writer = threading.Thread(target=feed)
    writer.start()
    for chunk in iter(lambda: gz.stdout.read(1 << 20), b""):
        size += len(chunk)
    writer.join()
    gz.wait()
    return size


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=pathlib.Path, default=ROOT / "build")
    parser.add_argument("--keep", action="store_true", help="keep the generated files")
    args = parser.parse_args()

    build = args.build.resolve()
    if not (build / "publisher.exe").exists():
        sys.exit("%s is missing: build the project first" % (build / "publisher.exe"))
    env = wine_env(build)
    subprocess.run([str(ROOT / "scripts" / "wine-prefix.sh")], env=env, check=True)
    subprocess.run(["wineserver", "-p30"], env=env, check=True)

    work = pathlib.Path(tempfile.mkdtemp(prefix="publish-bench-"))
    try:
        load_before = os.getloadavg()
        game = work / "game"
        make_game(game, GAME_MB, GAME_FILES)
        one, one_summary = publish(build, env, game, work / "one", 1)
        two, two_summary = publish(build, env, game, work / "two", 2)
        identical = tree_digest(work / "one" / PRODUCT_DIRECTORY) == tree_digest(work / "two" / PRODUCT_DIRECTORY)

        patched = sorted(game.rglob("*.bin"))[len(list(game.rglob("*.bin"))) // 2]
        content = bytearray(patched.read_bytes())
        content[len(content) // 2] ^= 0xFF
        patched.write_bytes(bytes(content))
        patch, patch_summary = publish(build, env, game, work / "two", 2)
        load_after = os.getloadavg()

        tree = work / "two" / PRODUCT_DIRECTORY
        joined_mb = (tree / (PRODUCT_DIRECTORY + "_full.zip")).stat().st_size / MB
        single_mb = single_stream_size(tree, game) / MB

        print("Game: %d files, %.0f MB; load average before %.2f, after %.2f (%d processors)"
              % (GAME_FILES, GAME_MB, load_before[0], load_after[0], os.cpu_count()))
        print("  --jobs 1: %s" % one_summary)
        print("  patch:    %s" % patch_summary)
        print()
        print("%-34s %10s %10s %8s %14s" % ("", "measured", "reference", "ratio", "goal"))
        print("-" * 80)
        print("%-34s %10.1f %10.1f %8.2f %14s" % ("full publish, --jobs 2 vs 1, s", two, one, one / two,
                                                 ">= %.1f" % SPEEDUP_GOAL))
        print("%-34s %10s" % ("  same bytes with 1 and 2 jobs", "yes" if identical else "NO"))
        print("%-34s %10.1f %10.1f %8.2f %14s" % ("one-file patch vs full (2 jobs), s", patch, two, patch / two,
                                                 "<= %d s, %.2f" % (PATCH_GOAL_SECONDS, PATCH_GOAL_SHARE)))
        print("%-34s %10.1f %10.1f %8.3f %14s" % ("whole-game package, joined vs one", joined_mb, single_mb,
                                                 joined_mb / single_mb, ""))
    finally:
        if args.keep:
            print("kept", work)
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
