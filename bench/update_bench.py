#!/usr/bin/python3
"""Measures the update run under Wine against nginx, beside what curl and gzip
take for the same bytes:

- a fresh install of a generated game (about 500 MB in about 2,000 files,
  published with our publisher) into an empty folder, against curl fetching
  every package over one connection plus gzip -dc of each;
- an incremental update of 1% of the files, against the same for their
  packages;
- the peak resident set of the process doing the fresh install (the goal is
  48 MB), as the kernel counted it for that process;
- the private bytes the fresh install adds over the same program that only
  starts and ends (the goal is 16 MB): the peak of the process's resident
  anonymous memory, sampled from /proc every 20 ms, which is where Wine keeps
  a Windows process's private commit;
- the planning pass over 100,000 files (bench/plan_bench.py).

The run is update_probe.exe run, the update run itself with a window that
prints what it is told; the launcher's default update host of this build
(string-table entry 106, 127.0.0.1 in the default build) must be a loopback
address. Everything runs in a private network namespace so nothing else on
port 80 is touched (run it as root).

    /usr/bin/python3 bench/update_bench.py [--build DIR] [--size-mb N] [--files N] [--keep]
"""

import argparse
import gzip
import hashlib
import os
import pathlib
import random
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from urllib.parse import quote

from digest_unpack_bench import wine_env, winpath

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "integration"))
from nginx_server import Nginx  # noqa: E402
from update_files import decode_index, encode_index, filetime, request_path  # noqa: E402

MB = 1_000_000
PEAK_GOAL_MB = 48
PRIVATE_GOAL_MB = 16
WALL_GOAL = 1.0
PRODUCT_DIRECTORY = "tarnhold2"
# Nothing listens there: reports fail at once and cost the run nothing.
REPORT_HOST = "127.0.0.2"
RUN_SECONDS = 1800
NAMESPACE_FLAG = "TARNHOLD_BENCH_NETNS"


def default_update_host(build):
    header = (build / "generated" / "deployment.h").read_text()
    return re.search(r'DEPLOY_UPDATE_HOST\s+"([^"]*)"', header).group(1)


def make_game(folder, total_mb, count):
    """Files of 40 KB to 2 MB and a few large ones; a third random, the rest
    compressible records and text, in nested folders."""
    rng = random.Random(11)
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
             for _ in range(3000)]
    text = b" ".join(rng.choice(words) for _ in range(400_000))
    records = b"".join(rng.randrange(1000).to_bytes(4, "little") + bytes(12) for _ in range(200_000))
    budget = total_mb * MB
    sizes = [rng.randint(40_000, 2 * budget // count - 40_000) for _ in range(count)]
    scale = budget / sum(sizes)
    for i, size in enumerate(sizes):
        size = max(1, int(size * scale))
        path = folder / ("data%d" % (i % 7)) / ("set%02d" % (i % 31)) / ("item%04d.bin" % i)
        path.parent.mkdir(parents=True, exist_ok=True)
        kind = i % 3
        if kind == 0:
            content = os.urandom(size)
        else:
            source = text if kind == 1 else records
            start = rng.randrange(len(source) // 2)
            content = (source[start:] + source) * (size // len(source) + 2)
            content = content[:size]
        path.write_bytes(content)


def served_packages(tree):
    """Request paths and sizes of every file's package, from the served index."""
    entries, _, _ = decode_index(gzip.decompress((tree / "fileindex.dat.zip").read_bytes()))
    return [(request_path(PRODUCT_DIRECTORY, e.name) + ".zip", e) for e in entries]


def curl_and_gunzip(address, packages, work):
    """Wall time of curl fetching the packages over one connection, then
    gzip -dc of each into its file."""
    work.mkdir(parents=True)
    config = work / "curl.conf"
    with open(config, "w") as out:
        for i, (path, _) in enumerate(packages):
            out.write('url = "http://%s/%s"\noutput = "%s/%d.gz"\n' % (address, quote(path), work, i))
    start = time.perf_counter()
    subprocess.run(["curl", "-s", "-f", "--config", str(config)], check=True)
    for i in range(len(packages)):
        with open(work / ("%d.out" % i), "wb") as out:
            subprocess.run(["gzip", "-dc", str(work / ("%d.gz" % i))], stdout=out, check=True)
    return time.perf_counter() - start


class AnonymousPeak:
    """Samples a process's resident anonymous memory (MB) until it ends."""

    def __init__(self, pid):
        self.peak = 0.0
        self._path = "/proc/%d/status" % pid
        self._thread = threading.Thread(target=self._sample, daemon=True)
        self._thread.start()

    def _sample(self):
        while True:
            try:
                with open(self._path) as status:
                    for line in status:
                        if line.startswith("RssAnon:"):
                            self.peak = max(self.peak, int(line.split()[1]) / 1024)
            except (OSError, ValueError):
                return
            time.sleep(0.02)

    def result(self):
        self._thread.join()
        return self.peak


def run_update(build, env, folder):
    """Wall time, peak resident set (MB), peak anonymous memory (MB) and
    output of one update run."""
    probe = folder / "update_probe.exe"
    shutil.copy(build / "update_probe.exe", probe)
    start = time.perf_counter()
    process = subprocess.Popen([str(ROOT / "scripts" / "wine-run.sh"), str(probe), "run", REPORT_HOST,
                                str(RUN_SECONDS)], cwd=folder, env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
    anonymous = AnonymousPeak(process.pid)
    output = process.stdout.read().decode("utf-8", "replace")
    _, status, usage = os.wait4(process.pid, 0)
    seconds = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0 or "finished" not in output.split("\n"):
        sys.exit("the update run did not finish:\n" + output[-3000:])
    probe.unlink()
    return seconds, usage.ru_maxrss / 1024, anonymous.result(), output


def idle_peak_mb(build, env, folder):
    """Peak resident set and peak anonymous memory of the same program doing
    nothing but start and end under Wine: what Wine itself takes."""
    probe = folder / "idle_probe.exe"
    shutil.copy(build / "update_probe.exe", probe)
    process = subprocess.Popen([str(ROOT / "scripts" / "wine-run.sh"), str(probe)], cwd=folder, env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    anonymous = AnonymousPeak(process.pid)
    _, _, usage = os.wait4(process.pid, 0)
    probe.unlink()
    return usage.ru_maxrss / 1024, anonymous.result()


def check_folder(folder, tree):
    for _, entry in served_packages(tree):
        data = (folder / entry.name.replace("\\", "/")).read_bytes()
        if hashlib.md5(data).digest() != entry.md5:
            sys.exit("%s differs from the server's after the run" % entry.name)


def change_files(game, tree, share):
    """Rewrites share of the files and serves their new packages and index,
    written with Python's gzip (an independent writer of the formats)."""
    index = gzip.decompress((tree / "fileindex.dat.zip").read_bytes())
    entries, _, _ = decode_index(index)
    rng = random.Random(5)
    changed = rng.sample(entries, max(1, int(len(entries) * share)))
    for entry in changed:
        path = game / entry.name.replace("\\", "/")
        content = bytearray(path.read_bytes())
        for _ in range(16):
            content[rng.randrange(len(content))] ^= 0xFF
        path.write_bytes(bytes(content))
        package = gzip.compress(bytes(content), 9)
        (tree.parent / (request_path(PRODUCT_DIRECTORY, entry.name) + ".zip")).write_bytes(package)
        entry.md5 = hashlib.md5(content).digest()
        entry.package_size = len(package)
        entry.time = filetime(1_700_000_000)
    (tree / "fileindex.dat.zip").write_bytes(gzip.compress(encode_index(entries), 9))
    names = {e.name for e in changed}
    return [(path, e) for path, e in served_packages(tree) if e.name in names]


def row(name, ours, reference, goal):
    ratio = ours / reference
    print("%-28s %10.1f %12.1f %8.2f %8s" % (name, ours, reference, ratio, goal))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=pathlib.Path, default=ROOT / "build")
    parser.add_argument("--size-mb", type=int, default=500)
    parser.add_argument("--files", type=int, default=2000)
    parser.add_argument("--keep", action="store_true", help="keep the generated files")
    args = parser.parse_args()

    if os.environ.get(NAMESPACE_FLAG) != "1":
        # Port 80 of the default update host, away from anything else.
        env = dict(os.environ, **{NAMESPACE_FLAG: "1"})
        # Wine finds the computer online only with a default route: one into
        # a veth pair that leads nowhere.
        setup = ("ip link set lo up && ip link add bench0 type veth peer name bench1 && "
                 "ip link set bench0 up && ip link set bench1 up && ip addr add 198.18.0.1/24 dev bench0 && "
                 'ip route add default via 198.18.0.2 && exec "$0" "$@"')
        os.execvpe("unshare", ["unshare", "--net", "sh", "-c", setup, sys.executable, *sys.argv], env)

    build = args.build.resolve()
    for exe in ("update_probe.exe", "publisher.exe"):
        if not (build / exe).exists():
            sys.exit("%s is missing: build the project first (make build)" % (build / exe))
    host = default_update_host(build)
    if not host.startswith("127."):
        sys.exit("this build's update host %s is no loopback address" % host)
    env = wine_env(build)
    subprocess.run([str(ROOT / "scripts" / "wine-prefix.sh")], env=env, check=True)
    subprocess.run(["wineserver", "-p30"], env=env, check=True)

    work = pathlib.Path(tempfile.mkdtemp(prefix="update-bench-"))
    nginx = None
    try:
        game = work / "game"
        make_game(game, args.size_mb, args.files)
        start = time.perf_counter()
        subprocess.run([str(ROOT / "scripts" / "wine-run.sh"), str(build / "publisher.exe"), winpath(game),
                        winpath(work / "www")], env=env, check=True, capture_output=True)
        publish_seconds = time.perf_counter() - start
        tree = work / "www" / PRODUCT_DIRECTORY
        nginx = Nginx(work / "nginx", host)
        shutil.rmtree(nginx.root)
        nginx.root.symlink_to(work / "www")

        packages = served_packages(tree)
        package_mb = sum(e.package_size for _, e in packages) / MB
        game_mb = sum(e.size for _, e in packages) / MB
        full_mb = (tree / (PRODUCT_DIRECTORY + "_full.zip")).stat().st_size / MB
        print("Game: %d files, %.0f MB, %.0f MB in packages, whole-game package %.0f MB; published in %.0f s"
              % (len(packages), game_mb, package_mb, full_mb, publish_seconds))

        installed = work / "installed"
        installed.mkdir()
        fresh_seconds, peak_mb, private_mb, _ = run_update(build, env, installed)
        check_folder(installed, tree)
        fresh_reference = curl_and_gunzip(host, packages, work / "curl-fresh")

        changed = change_files(game, tree, 0.01)
        update_seconds, _, _, _ = run_update(build, env, installed)
        check_folder(installed, tree)
        update_reference = curl_and_gunzip(host, changed, work / "curl-update")

        print()
        print("%-28s %10s %12s %8s %8s" % ("", "launcher", "curl + gzip", "ratio", "goal"))
        print("-" * 70)
        row("fresh install, s", fresh_seconds, fresh_reference, "<= %.1f" % WALL_GOAL)
        row("update of %d files, s" % len(changed), update_seconds, update_reference, "")
        print("%-28s %10.1f %12s %8s %8s" % ("peak resident set, MB", peak_mb, "", "", "<= %d" % PEAK_GOAL_MB))
        wine_mb, wine_private_mb = idle_peak_mb(build, env, work)
        print("%-28s %10.1f" % ("  Wine alone (start, end), MB", wine_mb))
        print("%-28s %10.1f" % ("  the run above that, MB", max(0.0, peak_mb - wine_mb)))
        print("%-28s %10.1f %12s %8s %8s" % ("private bytes added, MB", max(0.0, private_mb - wine_private_mb), "", "",
                                            "<= %d" % PRIVATE_GOAL_MB))
        print("%-28s %10.1f %12.1f" % ("  peak anonymous: run, idle", private_mb, wine_private_mb))
        print()
        print("(the launcher's figures include starting the program under Wine)")
    finally:
        if nginx:
            nginx.stop()
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
        else:
            print("kept", work)

    print()
    subprocess.run([sys.executable, str(ROOT / "bench" / "plan_bench.py"), "--build", str(build)], check=True)


if __name__ == "__main__":
    main()
