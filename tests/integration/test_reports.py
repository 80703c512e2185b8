"""Reports sent by the launcher's report client through its WinINet client to
the report server, checked byte for byte as the server stored them; error-log
handling; and report servers that are unreachable, slow, silent or answer
garbage. The report client is driven by reportprobe.exe, which reports to the
host it is given (the launcher itself reports to the host of its string
table)."""
import re
import socket
import sys
import threading
import time

import pytest

from conftest import SOURCE_DIR, ended_after_last_line, run_win, wait_for, wine_dropped, winpath
from reportserver import ReportServer

sys.path.insert(0, str(SOURCE_DIR / "tools"))
from test_http_server import Reply, ScriptedHttpServer  # noqa: E402

SETTINGS_KEY = "Software\\OrvixGames\\Tarnhold"
MAKER_KEY = "Software\\OrvixGames"
HARDWARE_REPORTED = ("Software\\OrvixGames\\Tarnhold\\Debug", "HW")
MACHINE_ID = "{0f8fad5b-d9cb-469f-a165-70867728950e}"
ID = MACHINE_ID.upper()
ENCODED_ID = "%7B0F8FAD5B-D9CB-469F-A165-70867728950E%7D"
SERVER = "127.0.6.20"
NOBODY = "127.0.6.21"    # nothing listens here
RAW_SERVER = "127.0.6.22"
DEADLINE_S = 30
WM_NULL = 0
REG_SZ = 1
PROBE_TIMEOUT = 300      # far beyond WinINet's own timeouts; only stops a hung run


def hexed(text):
    return text.encode("utf-8").hex() or "-"


@pytest.fixture(autouse=True)
def registry(driver):
    """Known machine identifier (lower case, as a hand-edited registry may hold
    it), no settings; the previous identifier is put back afterwards."""
    previous = driver.reg_get("HKCU", MAKER_KEY, "HWID")
    driver.reg_delete("HKCU", SETTINGS_KEY)
    driver.reg_set("HKCU", MAKER_KEY, "HWID", MACHINE_ID)
    yield driver
    driver.reg_delete("HKCU", SETTINGS_KEY)
    if previous is not None:
        driver.reg_set("HKCU", MAKER_KEY, "HWID", previous[1], previous[0])


@pytest.fixture
def start_server(tmp_path):
    servers = []

    def start(*options):
        server = ReportServer(SERVER, tmp_path / ("reports%d.db" % len(servers)), *options, keep=True)
        servers.append(server)
        return server
    yield start
    for server in servers:
        server.stop()


@pytest.fixture
def game(tmp_path):
    folder = tmp_path / "game"
    (folder / "Errors").mkdir(parents=True)
    return folder


@pytest.fixture
def probe(build_dir, game):
    def run(host, *args):
        # A run that Wine dropped before it started runs again; one dropped
        # later would show in the requests the servers counted.
        for _ in range(2):
            result = run_win(build_dir / "reportprobe.exe", host, *args, cwd=game, timeout=PROBE_TIMEOUT)
            if not wine_dropped(result, "reportprobe.exe"):
                break
        assert ended_after_last_line(result.returncode, result.stdout.replace(b"\r\n", b"\n"), result.stderr,
                                     "reportprobe.exe"), (result.returncode, result.stderr.decode(errors="replace"))
        lines = result.stdout.decode().splitlines()
        assert lines[-2:] == ["shown 0", "> end"], "a report showed a window"
        return lines[:-2]
    return run


FAKE_HARDWARE = ["--cpu", hexed("   Intel(R) Core(TM)2 Duo CPU     E8400  @ 3.00GHz"),
                 "--adapter", hexed("NVIDIA GeForce 8800 GTX   ")]
FAKE_CONFIGURATION = ("cpu=Intel(R)%20Core(TM)2%20Duo%20CPU%20%20%20%20%20E8400%20%20%40%203.00GHz"
                      "&gfx=NVIDIA%20GeForce%208800%20GTX%20%20%20&guid=" + ENCODED_ID)


def set_hardware_reported(driver):
    driver.reg_set("HKCU", HARDWARE_REPORTED[0], HARDWARE_REPORTED[1], "1")


def hardware_reported(driver):
    return driver.reg_text("HKCU", *HARDWARE_REPORTED)


def without_seconds(bodies):
    return [re.sub(r"&seconds=\d+&", "&seconds=N&", body) for body in bodies]


def test_run_start_sends_configuration_error_log_and_event_1(registry, start_server, probe, game):
    server = start_server()
    (game / "Errors" / "Tarnhold Error.txt").write_bytes(b"Access violation\r\nat 0x0040A000")

    probe(SERVER, *FAKE_HARDWARE, "start")

    assert [(r["page"], r["path"], r["status"]) for r in server.reports()] == [
        ("configs", "/launcher/reports-configs.asp", 200),
        ("errors", "/launcher/reports-errors.asp", 200),
        ("events", "/launcher/reports-events.asp", 200)]
    assert server.bodies() == [
        FAKE_CONFIGURATION,
        "guid=" + ID + "&errlog=Access%20violation%0D%0Aat%200x0040A000",
        "guid=" + ID + "&event=1"]
    assert server.reports("configs")[0]["fields"][1] == ("gfx", "NVIDIA GeForce 8800 GTX   ")
    assert hardware_reported(registry) == "1"
    assert list((game / "Errors").iterdir()) == []


def test_configuration_is_reported_once_per_installation(registry, start_server, probe):
    server = start_server()
    probe(SERVER, *FAKE_HARDWARE, "start")
    probe(SERVER, *FAKE_HARDWARE, "start")
    assert server.bodies() == [FAKE_CONFIGURATION, "guid=" + ID + "&event=1", "guid=" + ID + "&event=1"]


def test_with_hardware_already_reported_only_error_logs_and_event_1(registry, start_server, probe, game):
    server = start_server()
    set_hardware_reported(registry)
    (game / "Errors" / "log.txt").write_bytes(b"x")
    probe(SERVER, *FAKE_HARDWARE, "start")
    assert server.bodies() == ["guid=" + ID + "&errlog=x", "guid=" + ID + "&event=1"]


def test_refused_configuration_is_not_repeated(registry, start_server, probe):
    server = start_server("--fail", "configs=500")
    probe(SERVER, *FAKE_HARDWARE, "start")
    assert hardware_reported(registry) == "1"
    probe(SERVER, *FAKE_HARDWARE, "start")
    assert [(r["page"], r["status"]) for r in server.reports()] == [
        ("configs", 500), ("events", 200), ("events", 200)]


def test_real_survey_reaches_the_server(registry, start_server, probe):
    server = start_server()
    cpu, gfx = probe(SERVER, "survey")
    assert cpu.startswith("cpu ") and gfx.startswith("gfx ")
    cpu, gfx = cpu[4:], gfx[4:]
    assert cpu != "" and gfx != ""

    probe(SERVER, "start")

    [body] = server.bodies("configs")
    assert body == "cpu=" + cpu + "&gfx=" + gfx + "&guid=" + ENCODED_ID
    fields = dict(server.reports("configs")[0]["fields"])
    assert not fields["cpu"].startswith(" ")
    if fields["gfx"] not in ("Unable to create IDirect3D9", "GetAdapterIdentifier failed"):
        assert fields["gfx"].strip() != ""


def test_events_with_exact_bodies(registry, start_server, probe):
    server = start_server()
    probe(SERVER,
          "finished", "4294967295", "+",
          "gamestart", "+",
          "failure", "10", "42", "3", "123456", "-1", hexed("Ошибка при запросе файла \"a b.dat\" HTTP 404"), "+",
          "failure", "12", "100", "7", "0", "2", hexed("File 'data/a.pak' open error: 32"), "+",
          "stop", "5", "1", "2048")
    probe(SERVER, "poll", "4", hexed("Медленно & дорого"), "+", "stop", "0", "0", "0")
    probe(SERVER, "poll", "5", "-", "+", "stop", "0", "0", "0")

    text = ("%D0%9E%D1%88%D0%B8%D0%B1%D0%BA%D0%B0%20%D0%BF%D1%80%D0%B8%20%D0%B7%D0%B0%D0%BF%D1%80%D0%BE%D1%81%D0%B5"
            "%20%D1%84%D0%B0%D0%B9%D0%BB%D0%B0%20%22a%20b.dat%22%20HTTP%20404")
    poll_text = "%D0%9C%D0%B5%D0%B4%D0%BB%D0%B5%D0%BD%D0%BD%D0%BE%20%26%20%D0%B4%D0%BE%D1%80%D0%BE%D0%B3%D0%BE"
    assert without_seconds(server.bodies()) == [
        "guid=" + ID + "&event=2&seconds=N&bytes=4294967295",
        "guid=" + ID + "&event=3",
        "guid=" + ID + "&event=10&percent=42&errors=3&seconds=N&bytes=123456&option=-1&text=" + text,
        "guid=" + ID + "&event=12&percent=100&errors=7&seconds=N&bytes=0&option=2"
                       "&text=File%20'data%2Fa.pak'%20open%20error%3A%2032",
        "guid=" + ID + "&event=11&percent=5&errors=1&seconds=N&bytes=2048&option=0",
        "guid=" + ID + "&event=11&percent=0&errors=0&seconds=N&bytes=0&option=4&text=" + poll_text,
        "guid=" + ID + "&event=11&percent=0&errors=0&seconds=N&bytes=0&option=5"]
    assert dict(server.reports()[2]["fields"])["text"] == "Ошибка при запросе файла \"a b.dat\" HTTP 404"
    assert "&seconds=" in server.bodies()[0]


@pytest.mark.parametrize("text, sent", [
    ("я" * 1023 + "a", "%D1%8F" * 1023 + "a"),   # 2047 bytes of UTF-8 and the terminator fit
    ("я" * 1024, ""),                            # 2048 bytes do not
    ("a" * 5000, ""),
])
def test_failure_text_beyond_2048_bytes_is_sent_empty(registry, start_server, probe, text, sent):
    server = start_server()
    probe(SERVER, "failure", "10", "0", "1", "0", "0", hexed(text))
    [body] = server.bodies()
    assert body.endswith("&option=0&text=" + sent)


def test_ten_identical_failures_send_six_reports(registry, start_server, probe):
    server = start_server()
    probe(SERVER, "repeat", "10", hexed("WinInet Error in row 191. 12029 ERROR_INTERNET_CANNOT_CONNECT"))
    errors = [dict(r["fields"])["errors"] for r in server.reports()]
    assert errors == ["1", "2", "3", "4", "5", "6"]


def test_reports_from_two_threads_at_once_all_arrive_whole(registry, start_server, probe):
    server = start_server()
    probe(SERVER, "parallel", "25", hexed("Поток"))
    sent = sorted((dict(r["fields"])["option"], int(dict(r["fields"])["errors"])) for r in server.reports())
    assert sent == sorted((option, errors) for option in "01" for errors in range(1, 26))
    assert all(body.endswith("&text=%D0%9F%D0%BE%D1%82%D0%BE%D0%BA") for body in server.bodies())


def test_error_log_refused_by_the_server_stays_and_the_other_is_deleted(registry, start_server, probe, game):
    server = start_server("--fail", "errors=500:1")
    set_hardware_reported(registry)
    logs = {"first.txt": b"first log", "second.txt": b"second log"}
    for name, content in logs.items():
        (game / "Errors" / name).write_bytes(content)

    probe(SERVER, "start")

    reports = server.reports("errors")
    assert [r["status"] for r in reports] == [500, 200]
    refused = dict(reports[0]["fields"])["errlog"].encode()
    accepted = dict(reports[1]["fields"])["errlog"].encode()
    assert {refused, accepted} == set(logs.values())
    remaining = {p.name: p.read_bytes() for p in (game / "Errors").iterdir()}
    assert list(remaining.values()) == [refused]

    # The next start sends it again, and the server takes it this time.
    probe(SERVER, "start")
    assert [r["status"] for r in server.reports("errors")] == [500, 200, 200]
    assert server.reports("errors")[2]["body"] == reports[0]["body"]
    assert list((game / "Errors").iterdir()) == []


def test_long_error_logs_are_cut_to_65536_encoded_characters(registry, start_server, probe, game):
    server = start_server()
    set_hardware_reported(registry)
    letters = bytes(ord("a") + i % 26 for i in range(30000))
    huge = bytes(ord("A") + i % 26 for i in range(3 << 20))
    (game / "Errors" / "blanks.txt").write_bytes(b" " * 30000)
    (game / "Errors" / "letters.txt").write_bytes(letters)
    (game / "Errors" / "huge.txt").write_bytes(huge)

    probe(SERVER, "start")

    logs = sorted(server.bodies("errors"))
    assert logs == ["guid=" + ID + "&errlog=" + "%20" * 21845 + "%",
                    "guid=" + ID + "&errlog=" + huge[:65536].decode(),
                    "guid=" + ID + "&errlog=" + letters.decode()]
    assert list((game / "Errors").iterdir()) == []


def test_only_text_files_of_the_error_folder_are_sent(registry, start_server, probe, game):
    server = start_server()
    set_hardware_reported(registry)
    (game / "Errors" / "folder.txt").mkdir()
    (game / "Errors" / "notes.log").write_bytes(b"not a report")
    (game / "Errors" / "empty.txt").write_bytes(b"")
    (game / "Errors" / "zero.txt").write_bytes(b"before\0after")

    probe(SERVER, "start")

    assert sorted(server.bodies("errors")) == ["guid=" + ID + "&errlog=", "guid=" + ID + "&errlog=before%00after"]
    assert sorted(p.name for p in (game / "Errors").iterdir()) == ["folder.txt", "notes.log"]


class RawServer:
    """A report server that misbehaves: it reads each request whole, then acts
    as the test says for each page (answer some bytes, wait, close, or never
    answer). Every request it read is kept."""

    def __init__(self, answers, default=b"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"):
        self.answers = answers
        self.default = default
        self.requests = []
        self.release = threading.Event()
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind((RAW_SERVER, 80))
        self.listener.listen(16)
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self.handle, args=(connection,), daemon=True).start()

    def handle(self, connection):
        with connection:
            data = b""
            while b"\r\n\r\n" not in data:
                chunk = connection.recv(65536)
                if not chunk:
                    return
                data += chunk
            head, body = data.split(b"\r\n\r\n", 1)
            length = int(re.search(rb"Content-Length: (\d+)", head, re.I).group(1))
            while len(body) < length:
                chunk = connection.recv(65536)
                if not chunk:
                    return
                body += chunk
            path = head.split(b" ")[1].decode()
            self.requests.append((path, body))
            action = self.answers.get(path.rsplit("/", 1)[-1], self.default)
            if action == "silent":
                self.release.wait()
            elif action == "close":
                return
            elif isinstance(action, tuple):
                pause, answer = action
                self.release.wait(pause)
                connection.sendall(answer)
            else:
                connection.sendall(action)

    def close(self):
        self.release.set()
        # Wakes the accepting thread; closing alone would leave it holding the port.
        self.listener.shutdown(socket.SHUT_RDWR)
        self.listener.close()
        self.thread.join(10)


@pytest.fixture
def raw_server():
    servers = []

    def start(answers):
        server = RawServer(answers)
        servers.append(server)
        return server
    yield start
    for server in servers:
        server.close()


def test_unreachable_report_server_loses_no_error_log(registry, probe, game):
    (game / "Errors" / "crash.txt").write_bytes(b"kept")
    probe(NOBODY, *FAKE_HARDWARE, "start", "+", "finished", "1", "+", "failure", "10", "0", "1", "0", "0", "-")
    assert (game / "Errors" / "crash.txt").read_bytes() == b"kept"
    assert hardware_reported(registry) == "1"


@pytest.mark.parametrize("answer", [
    "close",
    "silent",                                            # until WinINet's receive timeout
    b"HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n",
    b"HTTP/1.1 abc\r\n\r\n",
])
def test_failing_report_server_loses_no_error_log(registry, raw_server, probe, game, answer):
    server = raw_server({"reports-errors.asp": answer})
    set_hardware_reported(registry)
    (game / "Errors" / "crash.txt").write_bytes(b"kept")

    probe(RAW_SERVER, "start", "+", "gamestart")

    assert (game / "Errors" / "crash.txt").read_bytes() == b"kept"
    assert [path for path, _ in server.requests] == [
        "/launcher/reports-errors.asp", "/launcher/reports-events.asp", "/launcher/reports-events.asp"]


def test_garbage_answer_loses_no_error_log(registry, raw_server, probe, game):
    server = raw_server({"reports-errors.asp": b"\x00\x01 this is no HTTP \xff\r\n\r\n"})
    set_hardware_reported(registry)
    (game / "Errors" / "crash.txt").write_bytes(b"kept")

    probe(RAW_SERVER, "start")

    assert len(server.requests) == 2
    assert (game / "Errors" / "crash.txt").read_bytes() == b"kept"


def test_slow_report_server_gets_every_report(registry, raw_server, probe, game):
    slow = (3, b"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")
    server = raw_server({"reports-configs.asp": slow, "reports-errors.asp": slow, "reports-events.asp": slow})
    (game / "Errors" / "crash.txt").write_bytes(b"sent")

    probe(RAW_SERVER, *FAKE_HARDWARE, "start")

    assert [body for _, body in server.requests] == [
        FAKE_CONFIGURATION.encode(), ("guid=" + ID + "&errlog=sent").encode(), ("guid=" + ID + "&event=1").encode()]
    assert list((game / "Errors").iterdir()) == []


def test_exit_gives_a_waiting_report_only_its_grace_and_keeps_the_error_log(registry, raw_server, probe, game):
    server = raw_server({"reports-errors.asp": "silent"})
    set_hardware_reported(registry)
    (game / "Errors" / "crash.txt").write_bytes(b"kept")

    began = time.monotonic()
    probe(RAW_SERVER, "start", "+", "exit")

    # The exit does not wait for the post's own deadline.
    assert time.monotonic() - began < DEADLINE_S
    assert [path for path, _ in server.requests] == ["/launcher/reports-errors.asp"]
    assert (game / "Errors" / "crash.txt").read_bytes() == b"kept"


def test_a_trickling_report_host_neither_freezes_the_window_nor_costs_a_crash_log(registry, driver, hosts, launcher_copy):
    folder = launcher_copy.parent
    (folder / "Errors").mkdir()
    (folder / "Errors" / "crash.txt").write_bytes(b"kept")
    registry.reg_set("HKCU", SETTINGS_KEY, "InstallPath", winpath(folder))
    set_hardware_reported(registry)
    events = "/launcher/reports-events.asp"
    server = ScriptedHttpServer(hosts.report, {
        "/launcher/reports-errors.asp": Reply(302, headers=[("Location", "/landing.html")]),
        "/landing.html": Reply(body=b"portal"),
        events: Reply(trickle_head=5)})
    pid = driver.start(launcher_copy, cwd=folder)
    try:
        hwnd, _ = driver.wait_window(pid, 60000)
        # The run sends its start reports only when Wine finds the machine online.
        assert wait_for(lambda: server.requests_for(events), 60), "no report: is Wine offline (no default route)?"
        # Throughout the trickle, well into the post's deadline.
        slowest = 0
        until = time.monotonic() + DEADLINE_S / 2
        while time.monotonic() < until:
            asked = time.monotonic()
            driver.send(hwnd, 0, WM_NULL)
            slowest = max(slowest, time.monotonic() - asked)
    finally:
        driver.kill(pid)
        server.stop()

    assert slowest < 1
    assert [(r.method, r.path) for r in server.requests if r.path != events] == [
        ("POST", "/launcher/reports-errors.asp")]
    assert (folder / "Errors" / "crash.txt").read_bytes() == b"kept"
