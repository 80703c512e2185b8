"""Measures the gzip codec's fuzz targets against the targets of a reference
commit (by default the last one whose targets opened their input as a file by
name), side by side in one run.

Each target of each version is built natively (clang, libFuzzer, ASan, UBSan,
as scripts/fuzz.sh builds them), then run for SECONDS as its own version ran
it: from its own seeds (the reference's generated ones, today's committed
corpus) with its own fuzz.sh's flags. The figure is libFuzzer's own average of
inputs per second. The two versions run one after the other, so the
machine's load is the same for both when nothing else runs.

    /usr/bin/python3 bench/fuzz_speed_bench.py [--seconds 60] [--reference COMMIT]
"""

import argparse
import pathlib
import re
import shutil
import subprocess
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
REFERENCE = '8efe76d'          # codec targets reading memory files opened by name
TARGETS = ('fuzz_unzip', 'fuzz_roundtrip')
# The reference's fuzz.sh gave the unpacker inputs past its 32 KiB buffer;
# today's targets choose their own refill sizes and run at 8192.
MAX_LEN = {'reference': {'fuzz_unzip': 100000, 'fuzz_roundtrip': 8192},
           'current': {'fuzz_unzip': 8192, 'fuzz_roundtrip': 8192}}


def build(source, out):
    subprocess.run(['cmake', '-S', str(source / 'tests' / 'fuzz'), '-B', str(out),
                    '-DCMAKE_CXX_COMPILER=clang++', '-DCMAKE_BUILD_TYPE=RelWithDebInfo'],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(['cmake', '--build', str(out), '-j2', '--target', 'zipcli', *TARGETS],
                   check=True, stdout=subprocess.DEVNULL)


def run(binary, seeds, work, seconds, max_len):
    corpus = work / ('corpus-' + binary.parent.name + '-' + binary.name)
    shutil.rmtree(corpus, ignore_errors=True)
    corpus.mkdir()
    done = subprocess.run([str(binary), '-max_total_time=%d' % seconds, '-timeout=10',
                           '-rss_limit_mb=2048', '-max_len=%d' % max_len, '-close_fd_mask=2',
                           '-print_final_stats=1', str(corpus), str(seeds)],
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if done.returncode != 0:
        raise SystemExit('%s failed:\n%s' % (binary, done.stderr[-2000:]))
    runs = int(re.search(r'stat::number_of_executed_units:\s+(\d+)', done.stderr).group(1))
    rate = int(re.search(r'stat::average_exec_per_sec:\s+(\d+)', done.stderr).group(1))
    return runs, rate


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--seconds', type=int, default=60, help='run time of each target')
    parser.add_argument('--reference', default=REFERENCE, help='commit to compare with')
    args = parser.parse_args()
    if not shutil.which('clang++'):
        raise SystemExit('clang++ is missing (scripts/install-deps.sh installs it)')

    with tempfile.TemporaryDirectory(prefix='fuzz_speed_bench_') as folder:
        work = pathlib.Path(folder)
        reference = work / 'reference-source'
        reference.mkdir()
        archive = subprocess.run(['git', '-C', str(ROOT), 'archive', args.reference],
                                 check=True, stdout=subprocess.PIPE).stdout
        subprocess.run(['tar', '-x', '-C', str(reference)], input=archive, check=True)
        builds = {'reference': work / 'reference', 'current': work / 'current'}
        build(reference, builds['reference'])
        build(ROOT, builds['current'])
        seeds = {'reference': work / 'reference-seeds', 'current': ROOT / 'tests' / 'fuzz' / 'corpus'}
        subprocess.run(['/usr/bin/python3', str(reference / 'tests' / 'fuzz' / 'seeds' / 'make_seeds.py'),
                        str(builds['reference'] / 'zipcli'), str(seeds['reference'])],
                       check=True, stdout=subprocess.DEVNULL)

        print('%-15s %-10s %10s %12s %8s' % ('target', 'version', 'inputs', 'inputs/s', 'speedup'))
        for target in TARGETS:
            base = None
            for version, out in builds.items():
                runs, rate = run(out / target, seeds[version] / target, work, args.seconds,
                                 MAX_LEN[version][target])
                base = base or rate
                print('%-15s %-10s %10d %12d %7.1fx' % (target, version, runs, rate, rate / base))


if __name__ == '__main__':
    main()
