#!/usr/bin/python3
"""Measures, in one run under Wine, the launcher's whole-file digest against
the md5sum command on the same files, and the whole-game package unpacker
against `gzip -dc` on the same package.

Generates a game folder of a few hundred megabytes (random data that does not
compress, and structured records and text that do), publishes it with the
built publisher.exe, then times:

  - update_probe.exe digest: every game file hashed by FileDigest;
  - md5sum over the same files;
  - update_probe.exe full: the publisher's whole-game package unpacked into a
    fresh folder (decompress, pipe, write, digest check);
  - gzip -dc of the same package to /dev/null, and to a file.

Wine rows show the time measured inside the process (QueryPerformanceCounter)
and the wall time including Wine's start-up. Each figure is the best of
--runs runs; the page cache is warmed first so that disk reads do not decide.

    /usr/bin/python3 bench/digest_unpack_bench.py [--build DIR] [--size-mb N] [--runs N] [--keep]
"""

import argparse
import os
import pathlib
import random
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
MB = 1_000_000


def build_arch(build):
    """i686 or x86_64, as the build folder was configured."""
    cache = (build / "CMakeCache.txt").read_text()
    return "x86_64" if "mingw-x86_64.cmake" in cache else "i686"


def wine_env(build):
    """The scripts under scripts/ choose the Wine of TARNHOLD_ARCH."""
    env = dict(os.environ)
    env.setdefault("WINEPREFIX", str(build / "wineprefix"))
    env["TARNHOLD_ARCH"] = build_arch(build)
    return env


def make_game(folder, total_mb):
    """About a third random bytes, a third fixed-size records, a third text."""
    rng = random.Random(7)
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
             for _ in range(3000)]
    per_kind = total_mb * MB // 3
    files = []

    def add(name, writer, size):
        path = folder / name
        path.parent.mkdir(parents=True, exist_ok=True)
        with open(path, "wb") as out:
            writer(out, size)
        files.append(path)

    def random_bytes(out, size):
        while size > 0:
            chunk = min(size, 4 * MB)
            out.write(os.urandom(chunk))
            size -= chunk

    def records(out, size):
        block = b"".join(rng.randrange(1000).to_bytes(4, "little") + bytes(12) +
                         rng.randrange(1 << 16).to_bytes(4, "little") for _ in range(50_000))
        while size > 0:
            piece = block[:min(size, len(block))]
            out.write(piece)
            size -= len(piece)
            block = block[len(block) // 3:] + block[:len(block) // 3]

    def text(out, size):
        line = b" ".join(rng.choice(words) for _ in range(200_000)) + b"\n"
        while size > 0:
            piece = line[:min(size, len(line))]
            out.write(piece)
            size -= len(piece)
            line = line[7:] + line[:7]

    for i in range(4):
        add("data/sound/track%d.ogg" % i, random_bytes, per_kind // 4)
    for i in range(4):
        add("data/world/region%d.bin" % i, records, per_kind // 4)
    for i in range(4):
        add("data/text/book%d.txt" % i, text, per_kind // 4)
    return files


def wall(command, **kwargs):
    start = time.perf_counter()
    result = subprocess.run(command, capture_output=True, check=True, **kwargs)
    return time.perf_counter() - start, result.stdout


def best(runs, action):
    results = [action() for _ in range(runs)]
    return min(results, key=lambda r: r[0])


def winpath(path):
    return "Z:" + str(path.resolve()).replace("/", "\\")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=pathlib.Path, default=ROOT / "build")
    parser.add_argument("--size-mb", type=int, default=300)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--keep", action="store_true", help="keep the generated files")
    args = parser.parse_args()

    build = args.build.resolve()
    wine_run = ROOT / "scripts" / "wine-run.sh"
    probe = build / "update_probe.exe"
    publisher = build / "publisher.exe"
    for exe in (probe, publisher):
        if not exe.exists():
            sys.exit("%s is missing: build the project first (make build)" % exe)
    env = wine_env(build)
    subprocess.run([str(ROOT / "scripts" / "wine-prefix.sh")], env=env, check=True)
    # A wineserver that outlives each run (and ends 30 s after the last), so
    # the start-up figures do not include starting it.
    subprocess.run(["wineserver", "-p30"], env=env, check=True)

    work = pathlib.Path(tempfile.mkdtemp(prefix="digest-unpack-bench-"))
    try:
        game = work / "game"
        print("Generating a %d MB game in %s ..." % (args.size_mb, game), flush=True)
        files = make_game(game, args.size_mb)
        game_bytes = sum(f.stat().st_size for f in files)

        print("Publishing it ...", flush=True)
        publish_time, _ = wall([str(wine_run), str(publisher), winpath(game), winpath(work / "server")], env=env)
        package = work / "server" / "tarnhold2" / "tarnhold2_full.zip"
        package_bytes = package.stat().st_size

        # Warm the page cache for both sides.
        subprocess.run(["cat"] + [str(f) for f in files] + [str(package)], stdout=subprocess.DEVNULL, check=True)

        def probe_digest():
            seconds, out = wall([str(wine_run), str(probe), "digest"] + [winpath(f) for f in files], env=env)
            lines = out.decode().split()
            inner = sum(float(lines[i + 2]) for i in range(0, len(lines), 3)) / 1000
            return seconds, inner, [lines[i + 1] for i in range(0, len(lines), 3)]

        def md5sum():
            seconds, out = wall(["md5sum"] + [str(f) for f in files])
            return seconds, [line.split()[0] for line in out.decode().splitlines()]

        digest_wall, digest_inner, probe_sums = best(args.runs, probe_digest)
        md5_wall, md5_sums = best(args.runs, md5sum)
        if probe_sums != md5_sums:
            sys.exit("digests differ from md5sum: %s / %s" % (probe_sums, md5_sums))

        def probe_unpack():
            target = work / "unpacked"
            shutil.rmtree(target, ignore_errors=True)
            target.mkdir()
            seconds, out = wall([str(wine_run), str(probe), "full", winpath(package)], env=env, cwd=target)
            facts = dict(line.split(" ", 1) for line in out.decode("utf-8").splitlines() if " " in line)
            if facts.get("result") != "ok":
                sys.exit("the unpacker failed:\n" + out.decode("utf-8"))
            return seconds, float(facts["elapsed_ms"]) / 1000

        def gzip_to_null():
            return wall(["sh", "-c", 'gzip -dc "$1" > /dev/null', "sh", str(package)])

        def gzip_to_file():
            return wall(["sh", "-c", 'gzip -dc "$1" > "$2"', "sh", str(package), str(work / "stream.bin")])

        unpack_wall, unpack_inner = best(args.runs, probe_unpack)
        gzip_null_wall = best(args.runs, gzip_to_null)[0]
        gzip_file_wall = best(args.runs, gzip_to_file)[0]
        stream_bytes = (work / "stream.bin").stat().st_size
    finally:
        if args.keep:
            print("Files kept in", work)
        else:
            shutil.rmtree(work, ignore_errors=True)

    def row(task, tool, seconds, size):
        print("%-28s %-44s %9.2f %9.1f" % (task, tool, seconds, size / MB / seconds))

    print()
    print("Game: %d files, %.1f MB; whole-game package %.1f MB (stream %.1f MB); published in %.1f s"
          % (len(files), game_bytes / MB, package_bytes / MB, stream_bytes / MB, publish_time))
    print("Best of %d runs; MB/s counts the game's bytes (the stream's for gzip)." % args.runs)
    print()
    print("%-28s %-44s %9s %9s" % ("task", "tool", "seconds", "MB/s"))
    print("-" * 93)
    row("whole-file digest", "FileDigest under Wine, in process", digest_inner, game_bytes)
    row("", "FileDigest under Wine, with Wine start-up", digest_wall, game_bytes)
    row("", "md5sum", md5_wall, game_bytes)
    row("unpack whole-game package", "UnpackGamePackage under Wine, in process", unpack_inner, game_bytes)
    row("", "UnpackGamePackage under Wine, with start-up", unpack_wall, game_bytes)
    row("", "gzip -dc > /dev/null", gzip_null_wall, stream_bytes)
    row("", "gzip -dc > file", gzip_file_wall, stream_bytes)


if __name__ == "__main__":
    main()
