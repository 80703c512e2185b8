"""Runs a Windows program under Wine and collects its output through files.

Through pipes, a Wine background service that the program happens to start
(the desktop process, for one) inherits them and holds them open after the
program has ended, so reading to their end would wait for that service. A
file is read once the program itself has ended."""
import subprocess
import tempfile

from conftest import WINE_RUN, wine_env


def run_win_to_files(exe, *args, cwd=None, timeout=60):
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        returncode = subprocess.run([str(WINE_RUN), str(exe), *[str(a) for a in args]], cwd=cwd, env=wine_env(),
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout).returncode
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(exe, returncode, out.read(), err.read())
