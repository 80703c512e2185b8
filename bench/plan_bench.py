#!/usr/bin/python3
"""Measures, under Wine, the planning of an update pass: an index of 100,000
files against a complete cached index (every name known, spelled in other
letter case and listed in the opposite order), beside the goal of one second.

update_probe.exe plan writes both index files into a fresh folder, then times
inside the process (QueryPerformanceCounter) the reading of each and the plan
itself; the goal holds for all three together, as one planning pass of the
update run reads both files and plans. Each figure is the best of --runs runs.

    /usr/bin/python3 bench/plan_bench.py [--build DIR] [--entries N] [--runs N]
"""

import argparse
import pathlib
import shutil
import subprocess
import sys
import tempfile

from digest_unpack_bench import wine_env

ROOT = pathlib.Path(__file__).resolve().parent.parent
GOAL_MS = 1000.0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=pathlib.Path, default=ROOT / "build")
    parser.add_argument("--entries", type=int, default=100_000)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()

    build = args.build.resolve()
    probe = build / "update_probe.exe"
    if not probe.exists():
        sys.exit("%s is missing: build the project first (make build)" % probe)
    env = wine_env(build)
    subprocess.run([str(ROOT / "scripts" / "wine-prefix.sh")], env=env, check=True)
    # One that outlives the runs; it may already be running.
    subprocess.run(["wineserver", "-p30"], env=env)

    runs = []
    for _ in range(args.runs):
        work = pathlib.Path(tempfile.mkdtemp(prefix="plan-bench-"))
        try:
            out = subprocess.run([str(ROOT / "scripts" / "wine-run.sh"), str(probe), "plan", str(args.entries)],
                                 env=env, cwd=work, capture_output=True, check=True).stdout.decode("utf-8")
        finally:
            shutil.rmtree(work, ignore_errors=True)
        words = out.split()
        facts = dict(zip(words[::2], words[1::2]))
        if int(facts["entries"]) != args.entries or int(facts["queue"]) != 0:
            sys.exit("unexpected plan:\n" + out)
        steps = [float(facts[name]) for name in ("read_server_ms", "read_cached_ms", "plan_ms")]
        runs.append((sum(steps), steps))

    total_ms, (server_ms, cached_ms, plan_ms) = min(runs)
    print("Planning %d files against a complete cached index, best of %d runs, under Wine:"
          % (args.entries, args.runs))
    print()
    print("%-34s %10s %10s" % ("step", "ms", "goal ms"))
    print("-" * 56)
    print("%-34s %10.1f" % ("read fileindex.dat", server_ms))
    print("%-34s %10.1f" % ("read cachedindex.dat", cached_ms))
    print("%-34s %10.1f" % ("plan", plan_ms))
    print("%-34s %10.1f %10.0f" % ("planning pass (all three)", total_ms, GOAL_MS))
    print()
    print("the planning pass %s the goal" % ("meets" if total_ms <= GOAL_MS else "MISSES"))


if __name__ == "__main__":
    main()
