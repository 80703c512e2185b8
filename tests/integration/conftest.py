"""Shared fixtures: the build folder, running Windows programs under Wine, and
the test driver that starts the launcher with exact command lines."""
import collections
import itertools
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time
import warnings

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).parent))
from windriver import WinDriver  # noqa: E402

SOURCE_DIR = pathlib.Path(os.environ.get("TARNHOLD_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
BUILD_DIR = pathlib.Path(os.environ.get("TARNHOLD_BUILD_DIR", SOURCE_DIR / "build"))
WINE_RUN = SOURCE_DIR / "scripts" / "wine-run.sh"
# The architecture of the build under test: i686 in a 32-bit prefix, x86_64 in
# a 64-bit one (scripts/wine-env.sh).
ARCH = os.environ.get("TARNHOLD_ARCH", "i686")
# Tests of the shipped file read the i686 launcher whatever runs the suite.
SHIPPED_LAUNCHER = pathlib.Path(os.environ.get("TARNHOLD_SHIPPED_LAUNCHER", BUILD_DIR / "TarnholdLauncher.exe"))


def winpath(path):
    """A Linux path as Wine sees it (drive Z: is the Linux root)."""
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


def wine_env():
    env = dict(os.environ)
    env.setdefault("WINEPREFIX", str(BUILD_DIR / "wineprefix"))
    env["TARNHOLD_ARCH"] = ARCH
    if ARCH == "x86_64":
        env["WINEARCH"] = "win64"
        env["WINELOADER"] = "/usr/lib/wine/wine64"
        wine64 = str(SOURCE_DIR / "scripts" / "wine64")
        if wine64 not in env.get("PATH", "").split(":"):
            env["PATH"] = wine64 + ":" + env.get("PATH", "")
    else:
        env["WINEARCH"] = "win32"
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
    return env


def wine_dropped(result, name):
    """Now and then 64-bit Wine ends a program before its first line: exit 1
    and not a byte on either stream. True for such a result, which the caller
    may run again; each time it is shown in the summary, so that a fault of
    the program that looks the same shows too."""
    if (result.returncode, result.stdout, result.stderr) != (1, b"", b""):
        return False
    warnings.warn("%s ended before its first line (exit 1, no output); run again" % name)
    return True


def ended_after_last_line(returncode, stdout, stderr, name):
    """True for a program that exited with 0, or that 64-bit Wine killed as
    it ended (now and then, after main has returned) once it had written its
    last line "> end", which a probe writes when its work and its teardown
    are done. The kill is shown in the summary; any other end is False."""
    if returncode == 0:
        return True
    if returncode < 0 and stdout.endswith(b"> end\n") and not stderr:
        warnings.warn("%s was killed (signal %d) after its last line" % (name, -returncode))
        return True
    return False


def run_win(exe, *args, cwd=None, timeout=60):
    """Runs a Windows program and collects its output through files: a Wine
    background service the program happens to start (the desktop process, for
    one) would inherit pipes and hold them open after the program ended."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        returncode = subprocess.run([str(WINE_RUN), str(exe), *[str(a) for a in args]], cwd=cwd, env=wine_env(),
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout).returncode
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(exe, returncode, out.read(), err.read())


def wait_for(condition, seconds=60):
    """True once condition() holds, polled until seconds have passed."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.05)
    return False


# The update host (string-table entry 106) and report host (147) of one test.
Hosts = collections.namedtuple("Hosts", "update report")
_tests_given_hosts = itertools.count()


def give_hosts(exe, hosts):
    """Writes the hosts into the string table of a copy of the launcher (or of
    a helper linking its resources), in the language the launcher reads."""
    result = run_win(BUILD_DIR / "set_string.exe", winpath(exe).encode().hex(), 1049,
                     106, hosts.update.encode().hex(), 147, hosts.report.encode().hex())
    assert result.returncode == 0, "set_string.exe failed on %s" % exe


def hold_open(build_dir, path, exe=None):
    """A second Wine process that keeps the file open for writing: the file
    holder, or a copy of it named exe."""
    holder = subprocess.Popen([str(WINE_RUN), str(exe or build_dir / "file_holder.exe"), str(path)], env=wine_env(),
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    assert holder.stdout.readline().strip() == b"holding"
    return holder


@pytest.fixture(scope="session")
def build_dir():
    return BUILD_DIR


@pytest.fixture(name="run_win")
def run_win_fixture():
    return run_win


@pytest.fixture
def driver():
    d = WinDriver([str(WINE_RUN), str(BUILD_DIR / "windriver.exe")], wine_env())
    yield d
    d.close()


@pytest.fixture
def hosts():
    """An update host and a report host of this test alone: no server of
    another test, nor anything at the built-in defaults, can answer it."""
    n = next(_tests_given_hosts)
    return Hosts(*("127.%d.%d.%d" % (octet, n // 250, n % 250 + 1) for octet in (10, 11)))


@pytest.fixture
def launcher_copy(tmp_path, hosts):
    """A fresh copy of the launcher in a folder of its own, reaching the
    test's own hosts."""
    folder = tmp_path / "game"
    folder.mkdir()
    exe = folder / "TarnholdLauncher.exe"
    shutil.copy(BUILD_DIR / "TarnholdLauncher.exe", exe)
    give_hosts(exe, hosts)
    return exe
