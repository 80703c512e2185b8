#!/usr/bin/python3
"""Chaos run of the update engine: update_probe.exe (the launcher's update
run) under Wine against a mirror that answers badly at random
(tools/chaos_mirror.py), killed outright at random moments, now and then with
a game file held open by another process.

Each round publishes a new version of a small game (some files changed, at
times most of them, so the whole-game package is used too), runs the probe
one to three times and kills it, then lets one run finish. After every kill,
every file that "cachedindex.dat" vouches for (read with its journal,
"downloading.dat") must hold its entry's bytes; every round must end with the
folder identical to the server.

    bench/chaos.py [--rounds N] [--seed S] [--build DIR]

Needs port 80 on 127.0.11.1 and 127.0.11.2 (run it as root, alone or in a
network namespace of its own). Prints one line per round and the totals;
exits 1 on any violation or unfinished round."""
import argparse
import hashlib
import os
import pathlib
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import warnings

SOURCE_DIR = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(SOURCE_DIR / "tests" / "integration"))
sys.path.insert(0, str(SOURCE_DIR / "tools"))
from update_files import Entry, decode_index, encode_index, filetime, game_stream, gzip_bytes  # noqa: E402
from chaos_mirror import ChaosMirror  # noqa: E402
from test_http_server import Reply, ScriptedHttpServer  # noqa: E402

LIST_HOST = "127.0.11.1"     # written into the probe copy as its update host (entry 106)
MIRROR = "127.0.11.2"
REPORT_HOST = "127.0.11.3"   # nobody listens: reports fail at once
SERVER_DIRECTORY = "tarnhold2"
FAULT_RATE = 0.25
FINAL_FAULT_RATE = 0.1
RUN_SECONDS = 90
NAMES = ["Tarnhold.dat", "data/maps/keep.map", "data/maps/road.map", "data/sounds/wind.ogg", "data/big.pak",
         "readme.txt", "empty.txt", "data/video/intro.bik"]


def key(name):
    """An index name as the file system names the file."""
    parts = [part.rstrip(". ") for part in name.replace("/", "\\").split("\\")]
    return "\\".join(parts).upper()


def journal_unvouched(journal):
    """Names the journal says are being written; a cut record ends it."""
    names, at = set(), 0
    while len(journal) - at >= 5:
        kind, length = journal[at:at + 1], struct.unpack_from("<I", journal, at + 1)[0]
        image = journal[at + 5:at + 5 + length]
        if len(image) < length:
            break
        try:
            entries, checksum_ok, _ = decode_index(image)
        except (AssertionError, struct.error, UnicodeDecodeError):
            break
        if not checksum_ok or len(entries) != 1:
            break
        if kind == b"W":
            names.add(key(entries[0].name))
        at += 5 + length
    return names


def violations(folder):
    """Files the cached index vouches for whose bytes are not its entry's."""
    cached = folder / "cachedindex.dat"
    if not cached.exists():
        return []
    journal = folder / "downloading.dat"
    unvouched = journal_unvouched(journal.read_bytes()) if journal.exists() else set()
    found = []
    for entry in decode_index(cached.read_bytes())[0]:
        if key(entry.name) in unvouched:
            continue
        path = folder / entry.name.replace("\\", "/")
        data = path.read_bytes() if path.is_file() else None
        if data is None or len(data) != entry.size or (entry.size and hashlib.md5(data).digest() != entry.md5):
            found.append(entry.name)
    return found


class Game:
    """The published game: its files, index and packages by request path."""

    def __init__(self, rng):
        self.rng = rng
        self.files = {}
        self.version = 0

    def change(self):
        """A new version: some files changed, or most of them."""
        self.version += 1
        many = self.version == 1 or self.rng.random() < 0.25
        for name in NAMES:
            if name not in self.files or many or self.rng.random() < 0.3:
                size = 0 if name == "empty.txt" else self.rng.randrange(1, 400_000)
                self.files[name] = self.rng.randbytes(size // 2) + bytes(size - size // 2)

    def served(self):
        entries = []
        tree = {}
        for number, (name, content) in enumerate(sorted(self.files.items())):
            package = gzip_bytes(content)
            entry = Entry(name.replace("/", "\\"), content, filetime(1_600_000_000 + self.version * 1000 + number),
                          package_size=len(package))
            entries.append(entry)
            tree["/pub/%s.zip" % name] = package
        self.index = encode_index(entries)
        tree["/pub/fileindex.dat.zip"] = gzip_bytes(self.index)
        tree["/pub/%s_full.zip" % SERVER_DIRECTORY] = gzip_bytes(game_stream(entries))
        return tree

    def matches(self, folder):
        return all((folder / name).is_file() and (folder / name).read_bytes() == content
                   for name, content in self.files.items()) and \
            (folder / "cachedindex.dat").read_bytes() == self.index


class Chaos:
    def __init__(self, build_dir, seed, log=print):
        from conftest import WINE_RUN, Hosts, give_hosts, wine_env
        self.wine_run, self.env = WINE_RUN, wine_env()
        self.build_dir = pathlib.Path(build_dir)
        self.rng = random.Random(seed)
        self.log = log
        self.game = Game(self.rng)
        self.list_host = ScriptedHttpServer(LIST_HOST, {
            "/%s/datasources.txt" % SERVER_DIRECTORY: Reply(body=(MIRROR + "/pub\r\n").encode())})
        self.mirror = ChaosMirror(MIRROR, FAULT_RATE, seed)
        self.temp = pathlib.Path(tempfile.mkdtemp(prefix="chaos-"))
        self.folder = self.temp / "game"
        self.folder.mkdir()
        shutil.copy(self.build_dir / "update_probe.exe", self.folder / "update_probe.exe")
        give_hosts(self.folder / "update_probe.exe", Hosts(LIST_HOST, REPORT_HOST))
        self.kills = 0
        self.violations = []
        self.unfinished = 0

    def close(self):
        self.list_host.stop()
        self.mirror.stop()
        shutil.rmtree(self.temp, ignore_errors=True)

    def start(self):
        return subprocess.Popen([str(self.wine_run), str(self.folder / "update_probe.exe"), "run", REPORT_HOST,
                                 str(RUN_SECONDS)], cwd=self.folder, env=self.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)

    def hold(self):
        """Another process holding one of the game's files open, or None."""
        present = [name for name in self.game.files if (self.folder / name).is_file()]
        if not present or self.rng.random() > 0.2:
            return None
        holder = subprocess.Popen([str(self.wine_run), str(self.build_dir / "file_holder.exe"),
                                   str(self.folder / self.rng.choice(present))], env=self.env,
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        holder.stdout.readline()
        return holder

    def killed_run(self):
        holder = self.hold()
        probe = self.start()
        try:
            probe.wait(timeout=self.rng.uniform(0.5, 6.0))
        except subprocess.TimeoutExpired:
            probe.kill()
            self.kills += 1
        probe.wait()
        probe.stdout.close()
        if holder:
            holder.stdin.close()
            holder.wait()
        return violations(self.folder)

    def round(self, number):
        self.game.change()
        self.mirror.serve(self.game.served())
        self.mirror.rate = FAULT_RATE
        found = []
        for _ in range(self.rng.randint(1, 3)):
            found += self.killed_run()
        self.mirror.rate = FINAL_FAULT_RATE
        for _ in range(2):
            probe = self.start()
            lines = probe.communicate(timeout=RUN_SECONDS + 60)[0].decode("utf-8", "replace").splitlines()
            # 64-bit Wine now and then ends a program before its first line,
            # which comes before the run does anything: such a run is made
            # again, and shown.
            if (probe.returncode, lines) != (1, []):
                break
            warnings.warn("update_probe.exe ended before its first line (exit 1, no output); run again")
        finished = "finished" in lines and self.game.matches(self.folder)
        found += violations(self.folder)
        self.violations += found
        self.unfinished += not finished
        self.log("round %d: version %d, %d kills so far, %s%s" % (
            number, self.game.version, self.kills, "identical to the server" if finished else "NOT FINISHED",
            ", violations: %s" % found if found else ""))
        if not finished:
            self.log("  the last run: exit %s, its last lines: %s" % (probe.returncode, lines[-8:]))


def run(build_dir, rounds, seed, log=print):
    """(kills, violations, unfinished rounds) of that many rounds."""
    chaos = Chaos(build_dir, seed, log)
    try:
        for number in range(1, rounds + 1):
            chaos.round(number)
    finally:
        chaos.close()
    faults = chaos.mirror.faults
    log("faults served: " + ", ".join("%s %d" % (kind, faults.count(kind)) for kind in sorted(set(faults))))
    return chaos.kills, chaos.violations, chaos.unfinished


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=20)
    parser.add_argument("--seed", type=int, default=int(time.time()))
    parser.add_argument("--build", default=os.environ.get("TARNHOLD_BUILD_DIR", SOURCE_DIR / "build"))
    args = parser.parse_args()
    os.environ.setdefault("TARNHOLD_BUILD_DIR", str(args.build))
    started = time.monotonic()
    kills, found, unfinished = run(args.build, args.rounds, args.seed)
    print("chaos: seed %d, %d rounds, %d kills, %d violations, %d rounds not finished, %.0f s" % (
        args.seed, args.rounds, kills, len(found), unfinished, time.monotonic() - started))
    return 1 if found or unfinished else 0


if __name__ == "__main__":
    sys.exit(main())
