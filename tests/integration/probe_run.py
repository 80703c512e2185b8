"""Update runs of update_probe.exe in a game folder of its own: the probe
copied into the folder is the launcher the run updates; its settings are
written to the Wine registry before each run."""
import concurrent.futures
import shutil

from conftest import ended_after_last_line, give_hosts, wait_for, wine_dropped, winpath

SETTINGS_KEY = "Software\\OrvixGames\\Tarnhold"


def set_settings(driver, settings):
    """A fresh settings key holding these values ("Key\\Name": text); the
    hardware report counts as sent."""
    driver.reg_delete("HKCU", SETTINGS_KEY)
    for name, value in {"Debug\\HW": "1", **settings}.items():
        key, _, value_name = name.rpartition("\\")
        driver.reg_set("HKCU", SETTINGS_KEY + "\\" + key, value_name, value)


def probe_runner(build_dir, run_win, driver, folder, hosts, seconds):
    """A function that runs the probe in folder with the given settings, for
    at most the given seconds unless told otherwise, and returns the lines it
    printed. The probe asks the test's own update host and reports to its
    report host. With until, a condition, the run is stopped once it holds."""
    folder.mkdir(exist_ok=True)
    probe = folder / "update_probe.exe"
    shutil.copy(build_dir / "update_probe.exe", probe)
    give_hosts(probe, hosts)
    stop = folder.parent / "stop-run"

    def start(settings, *options, seconds=seconds, until=None):
        set_settings(driver, settings)
        if until:
            options += ("--stop-when", winpath(stop))
        # The probe's first line comes before the run starts, so a run that
        # Wine dropped did nothing yet.
        for _ in range(2):
            stop.unlink(missing_ok=True)
            with concurrent.futures.ThreadPoolExecutor(1) as pool:
                running = pool.submit(run_win, probe, "run", hosts.report, seconds, *options, cwd=folder,
                                      timeout=seconds + 120)
                held = True
                if until:
                    try:
                        held = wait_for(lambda: running.done() or until(), seconds) and until()
                    finally:
                        stop.touch()
                result = running.result()
            if not wine_dropped(result, "update_probe.exe"):
                assert held, "the run ended before the condition to stop it held"
                break
        assert ended_after_last_line(result.returncode, result.stdout, result.stderr, "update_probe.exe"), \
            (result.returncode, result.stdout.decode("utf-8")[-2000:], result.stderr.decode(errors="replace"))
        return result.stdout.decode("utf-8").splitlines()
    return start


def events(reports):
    """The event codes the report server stored, in arrival order."""
    return [dict(r["fields"]).get("event") for r in reports.reports("events")]
