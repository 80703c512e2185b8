"""The launcher's two HTTP clients, driven through httpprobe.exe under Wine
against real servers on loopback: nginx for whole and resumed downloads, and
our scripted server for every answer a client must survive. Each test listens
on addresses of its own in 127.0.3.0/24, port 80."""
import random
import socket
import subprocess
import sys
import tempfile
from urllib.parse import quote

import pytest

from conftest import BUILD_DIR, SOURCE_DIR, WINE_RUN, ended_after_last_line, wine_dropped, wine_env, winpath

sys.path.insert(0, str(SOURCE_DIR / "tools"))
from test_http_server import FileRoute, Reply, ScriptedHttpServer  # noqa: E402
from nginx_server import Nginx  # noqa: E402
from update_files import request_path  # noqa: E402

CLIENTS = ["poco", "wininet"]
CHUNK = {"poco": 16384, "wininet": 2048}
PROBE_TIMEOUT = 150
UNRESOLVABLE_HOST = "no-such-host.invalid"

TEXT_INCOMPLETE = "Передача завершена сервером. Однако, файл получен не полностью."


def text_request_error(path, status):
    return 'Ошибка при запросе файла "%s" HTTP %s' % (path, status)


def text_file_creation(path, detail):
    return "Ошибка при создании файла %s - '%s'" % (path, detail)


def text_wininet(row, code, detail):
    return "Ошибка WinInet в строке %d. %d %s" % (row, code, detail)


def text_stopped(path):
    return 'Сервер перестал передавать "%s".' % path


def text_redirect_refused(path, location):
    return 'Сервер перенаправил "%s" на "%s": допускаются только серверы обновлений по http.' % (path, location)


def text_redirect_loop(path):
    return 'Сервер перенаправлял "%s" по кругу или больше 5 раз.' % path


def text_too_large(path, length):
    return 'Сервер объявляет %d байт для "%s": файлы от 4 ГиБ сохранить нельзя.' % (length, path)


def remote_of(client, name):
    """The path in the client's messages: the socket-library client names the
    URI it requested, the WinINet client the path as given."""
    return "/" + name if client == "poco" else name


# ---------------------------------------------------------------------------
# Addresses, servers and the probe

_taken = set()


def free_address():
    """An address of 127.0.3.0/24 no test of this run has had and nothing
    listens on at port 80. Starts at a random place so that two runs side by
    side rarely meet."""
    start = random.randrange(240)
    for step in range(240):
        address = "127.0.3.%d" % (10 + (start + step) % 240)
        if address in _taken:
            continue
        with socket.socket() as probe_socket:
            try:
                probe_socket.bind((address, 80))
            except OSError:
                continue
        _taken.add(address)
        return address
    raise RuntimeError("no free address left in 127.0.3.0/24")


@pytest.fixture
def server():
    """Starts scripted servers on addresses of their own; stops them after."""
    started = []

    def start(routes):
        instance = ScriptedHttpServer(free_address(), routes)
        started.append(instance)
        return instance

    yield start
    for instance in started:
        instance.stop()


@pytest.fixture
def nginx(tmp_path):
    instance = Nginx(tmp_path / "nginx", free_address())
    yield instance
    instance.stop()


@pytest.fixture(scope="module")
def big_file(tmp_path_factory):
    """Several megabytes that compress to nothing, so no layer can cheat."""
    return random.Random(7).randbytes(3 * 1024 * 1024 + 4321)


class Transcript:
    """What httpprobe.exe wrote: each command with the lines it caused."""

    def __init__(self, text):
        self.sections = []
        for line in text.splitlines():
            line = line.replace("<CR>", "\r").replace("<LF>", "\n")
            if line.startswith("> "):
                self.sections.append((line[2:], []))
            else:
                self.sections[-1][1].append(line)

    def lines(self, index=None):
        if index is None:
            return [line for _, lines in self.sections for line in lines]
        return self.sections[index][1]

    def sink(self, index=None):
        """The sink calls, with every run of OnData lines folded into one
        "OnData <bytes>" line."""
        folded = []
        for line in self.lines(index):
            if not line.startswith("On"):
                continue
            if line.startswith("OnData\t") and folded and folded[-1].startswith("OnData\t"):
                folded[-1] = "OnData\t%d" % (int(folded[-1].split("\t")[1]) + int(line.split("\t")[1]))
            else:
                folded.append(line)
        return folded

    def chunks(self):
        return [int(line.split("\t")[1]) for line in self.lines() if line.startswith("OnData\t")]

    def answer(self, name, index=0):
        """The value part of the index-th answer line of a command."""
        values = [line.split("\t", 1)[1] for line in self.lines() if line.split("\t")[0] == name]
        return values[index]


def probe(client, *commands, cwd=None):
    script = "".join("\t".join(str(field) for field in command) + "\n" for command in commands)
    for _ in range(2):
        result = subprocess.run([str(WINE_RUN), str(BUILD_DIR / "httpprobe.exe"), client],
                                input=script.encode("utf-8"), capture_output=True, env=wine_env(),
                                timeout=PROBE_TIMEOUT, cwd=cwd)
        # The probe writes a line before it touches the network, so a run that
        # Wine dropped did nothing yet.
        if not wine_dropped(result, "httpprobe.exe"):
            break
    assert ended_after_last_line(result.returncode, result.stdout, result.stderr, "httpprobe.exe"), \
        (result.returncode, result.stderr.decode("utf-8", "replace"))
    return Transcript(result.stdout.decode("utf-8"))


def download(client, host, remote, local, offset=0, *more):
    """Connect, Download, Process until the end, then whether the file is free
    and whether Process does anything more."""
    return probe(client, ("connect", host), ("download", remote, winpath(local), offset), ("run", 100000),
                 ("free", winpath(local)), ("process", 3), *more)


def assert_chunks(transcript, client):
    """Each read takes what has arrived, up to the client's chunk."""
    sizes = transcript.chunks()
    assert sizes and all(0 < size <= CHUNK[client] for size in sizes)


def assert_idle_after(transcript):
    """The file, when there is one, is released and Process does nothing any
    more."""
    assert transcript.answer("free") in ("free", "missing")
    assert transcript.lines(4) == []


# ---------------------------------------------------------------------------
# Whole and resumed downloads from nginx

@pytest.mark.parametrize("client", CLIENTS)
def test_whole_download_from_nginx_is_byte_identical(client, nginx, big_file, tmp_path):
    (nginx.root / "pack").mkdir()
    (nginx.root / "pack" / "game data.zip").write_bytes(big_file)
    local = tmp_path / "game" / "sub" / "game data.zip"
    remote = "pack\\game data.zip" if client == "poco" else "pack/game%20data.zip"

    transcript = download(client, nginx.address, remote, local, 0, ("delete", winpath(local)))

    done = ["OnData\t%d" % len(big_file), "OnComplete\t" + winpath(local)]
    start = ["OnStart\t/pack/game%%20data.zip\t%d" % len(big_file)] if client == "poco" else []
    assert transcript.sink() == start + done
    assert_chunks(transcript, client)
    assert_idle_after(transcript)
    assert transcript.answer("delete") == "deleted"
    user_agent = "OrvixLauncherPoco" if client == "poco" else "OrvixLauncher"
    assert nginx.log() == [("GET /pack/game%20data.zip HTTP/1.1", "200", "-", user_agent)]


@pytest.mark.parametrize("offset, kept", [(1, 1), (16384, 16384), (1234567, 1234567), (-1, -1), (50000, 1000)],
                         ids=["1", "16384", "1234567", "all-but-the-last-byte", "file-shorter-than-the-offset"])
@pytest.mark.parametrize("client", CLIENTS)
def test_resumed_download_from_nginx_is_byte_identical(client, offset, kept, nginx, big_file, tmp_path):
    offset, kept = offset % len(big_file), kept % len(big_file)
    (nginx.root / "big.bin").write_bytes(big_file)
    local = tmp_path / "big.bin"
    local.write_bytes(big_file[:kept])

    transcript = download(client, nginx.address, "big.bin", local, offset)

    assert local.read_bytes() == big_file
    assert_idle_after(transcript)
    if client == "poco":
        start = offset if kept >= offset else 0
        assert transcript.sink() == ["OnStart\t/big.bin\t%d" % len(big_file), "OnData\t%d" % (len(big_file) - start),
                                     "OnComplete\t" + winpath(local)]
        answer = ("206", "bytes=%d-" % offset) if start else ("200", "-")
        assert nginx.log() == [("GET /big.bin HTTP/1.1",) + answer + ("OrvixLauncherPoco",)]
    else:
        # Wine's WinINet cannot move the read position of an answer: the
        # client falls back to writing the whole file anew.
        assert transcript.sink() == ["OnData\t%d" % len(big_file), "OnComplete\t" + winpath(local)]
        assert nginx.log() == [("GET /big.bin HTTP/1.1", "200", "-", "OrvixLauncher")]


@pytest.mark.parametrize("name", ["data\\maps\\keep.map", "data/maps/a b+c.map", "Данные\\Карта мира.bin",
                                  "地图/地图.txt", "data\\level#2 100%.map"],
                         ids=["nested", "slashes-and-blanks", "cyrillic", "cjk", "hash-and-percent"])
@pytest.mark.parametrize("client", CLIENTS)
def test_packages_of_nested_and_non_ascii_names_download_from_nginx(client, name, nginx, tmp_path):
    served = request_path("tarnhold2", name + ".zip")
    (nginx.root / served).parent.mkdir(parents=True)
    (nginx.root / served).write_bytes(name.encode("utf-8"))

    transcript = probe(client, ("connect", nginx.address), ("fetch", "tarnhold2", name + ".zip", name + ".zip"),
                       ("run", 100), cwd=tmp_path)

    assert transcript.sink()[-1] == "OnComplete\t" + name.replace("/", "\\") + ".zip"
    assert (tmp_path / (name.replace("\\", "/") + ".zip")).read_bytes() == name.encode("utf-8")
    assert [entry[:2] for entry in nginx.log()] == [("GET /%s HTTP/1.1" % quote(served, safe="/'()*"), "200")]


def test_resume_past_2_gib_keeps_the_partial_file_and_writes_at_the_offset(server, tmp_path):
    offset = 2**31 + 4096
    site = server({"/big.zip": Reply(206, body=b"tail" * 100)})
    local = tmp_path / "big.zip"
    with open(local, "wb") as sparse:
        sparse.write(b"head")
        sparse.truncate(offset)

    transcript = download("poco", site.address, "big.zip", local, offset)

    assert transcript.sink() == ["OnStart\t/big.zip\t%d" % (offset + 400), "OnData\t400",
                                 "OnComplete\t" + winpath(local)]
    assert site.requests[0].header("Range") == "bytes=%d-" % offset
    with open(local, "rb") as result:
        assert result.read(4) == b"head"
        result.seek(offset)
        assert result.read() == b"tail" * 100


def test_complete_file_asked_again_from_nginx_gives_only_onstart(nginx, big_file, tmp_path):
    (nginx.root / "big.bin").write_bytes(big_file)
    local = tmp_path / "big.bin"
    local.write_bytes(big_file)

    transcript = download("poco", nginx.address, "big.bin", local, len(big_file))

    assert transcript.sink() == ["OnStart\t/big.bin\t%d" % len(big_file)]
    assert local.read_bytes() == big_file
    assert_idle_after(transcript)
    assert [entry[1] for entry in nginx.log()] == ["416", "200"]


def test_local_file_longer_than_the_server_file_starts_over(nginx, big_file, tmp_path):
    (nginx.root / "big.bin").write_bytes(big_file)
    local = tmp_path / "big.bin"
    local.write_bytes(b"\xEE" * (len(big_file) + 10))

    transcript = download("poco", nginx.address, "big.bin", local, len(big_file) + 10)

    assert transcript.sink() == ["OnStart\t/big.bin\t%d" % len(big_file), "OnData\t%d" % len(big_file),
                                 "OnComplete\t" + winpath(local)]
    assert local.read_bytes() == big_file
    assert [entry[1] for entry in nginx.log()] == ["416", "200"]


@pytest.mark.parametrize("client", CLIENTS)
def test_cancel_keeps_the_partial_file_for_a_resume(client, nginx, big_file, tmp_path):
    (nginx.root / "big.bin").write_bytes(big_file)
    local = tmp_path / "big.bin"
    path = winpath(local)

    transcript = probe(client, ("connect", nginx.address), ("download", "big.bin", path, 0), ("process", 3),
                       ("free", path), ("cancel",), ("free", path), ("size", path), ("process", 3), ("cancel",))

    assert transcript.answer("free", 0) == "busy\t32"
    assert transcript.answer("free", 1) == "free"
    assert transcript.lines(7) == [] and transcript.lines(8) == []
    kept = int(transcript.answer("size"))
    assert 0 < kept <= 3 * CHUNK[client] and kept == sum(transcript.chunks())
    assert local.read_bytes() == big_file[:kept]

    download(client, nginx.address, "big.bin", local, kept)
    assert local.read_bytes() == big_file


# ---------------------------------------------------------------------------
# Exactly what the clients send

def test_socket_client_normalises_the_path_and_truncates_from_offset_zero(server, tmp_path):
    site = server({"/data/a%20b.opk": Reply(body=b"new content")})
    local = tmp_path / "data" / "a b.opk"
    local.parent.mkdir()
    local.write_bytes(b"an older and longer content")

    transcript = download("poco", site.address, "data\\a b.opk", local)

    assert transcript.sink() == ["OnStart\t/data/a%20b.opk\t11", "OnData\t11", "OnComplete\t" + winpath(local)]
    assert local.read_bytes() == b"new content"
    [request] = site.requests
    assert (request.method, request.target, request.version) == ("GET", "/data/a%20b.opk", "HTTP/1.1")
    assert request.headers == [("User-Agent", "OrvixLauncherPoco"), ("Host", site.address)]


def test_socket_client_resumes_with_a_range_and_appends(server, tmp_path):
    site = server({"/pack.zip": Reply(206, body=b"r" * 500)})
    local = tmp_path / "pack.zip"
    local.write_bytes(b"h" * 1000)

    transcript = download("poco", site.address, "pack.zip", local, 1000)

    assert transcript.sink() == ["OnStart\t/pack.zip\t1500", "OnData\t500", "OnComplete\t" + winpath(local)]
    assert local.read_bytes() == b"h" * 1000 + b"r" * 500
    assert site.requests[0].header("Range") == "bytes=1000-"


def test_resume_writes_at_the_offset_even_when_the_file_holds_more(server, tmp_path):
    site = server({"/pack.zip": Reply(206, body=b"r" * 500)})
    local = tmp_path / "pack.zip"
    local.write_bytes(b"h" * 1000 + b"stale tail")

    download("poco", site.address, "pack.zip", local, 1000)

    assert local.read_bytes() == b"h" * 1000 + b"r" * 500


def test_full_answer_to_a_range_replaces_the_file(server, tmp_path):
    site = server({"/pack.zip": Reply(200, body=b"whole file")})
    local = tmp_path / "pack.zip"
    local.write_bytes(b"x" * 1000)

    transcript = download("poco", site.address, "pack.zip", local, 1000)

    assert transcript.sink() == ["OnStart\t/pack.zip\t10", "OnData\t10", "OnComplete\t" + winpath(local)]
    assert local.read_bytes() == b"whole file"


@pytest.mark.parametrize("second, sink, content", [
    (Reply(body=b"c" * 1000), ["OnStart\t/p.zip\t1000"], b"o" * 1000),
    (Reply(body=b"new"), ["OnStart\t/p.zip\t3", "OnData\t3", "OnComplete\t{local}"], b"new"),
    (Reply(body=b"c" * 1000, length=None), ["OnStart\t/p.zip\t0", "OnData\t1000", "OnComplete\t{local}"], b"c" * 1000),
    (Reply(404), ["OnError\t" + text_request_error("/p.zip", 404)], b"o" * 1000),
], ids=["complete-already", "start-over", "start-over-unknown-length", "then-404"])
def test_refused_range_asks_for_the_whole_file(server, tmp_path, second, sink, content):
    site = server({"/p.zip": [Reply(416), second]})
    local = tmp_path / "p.zip"
    local.write_bytes(b"o" * 1000)

    transcript = download("poco", site.address, "p.zip", local, 1000)

    assert transcript.sink() == [line.format(local=winpath(local)) for line in sink]
    assert local.read_bytes() == content
    assert_idle_after(transcript)
    first, again = site.requests
    assert first.header("Range") == "bytes=1000-"
    assert again.headers == [("User-Agent", "OrvixLauncherPoco"), ("Range", ""), ("Host", site.address)]


def test_wininet_client_sends_its_agent_and_accept_types(server, tmp_path):
    site = server({"/data/a_b.opk": Reply(body=b"content")})
    local = tmp_path / "a_b.opk"

    transcript = download("wininet", site.address, "data/a_b.opk", local, 0)

    assert transcript.sink() == ["OnData\t7", "OnComplete\t" + winpath(local)]
    [request] = site.requests
    assert (request.method, request.target) == ("GET", "/data/a_b.opk")
    assert request.header("User-Agent") == "OrvixLauncher"
    assert request.header("Accept") == "application/x-zip-compressed, */*"
    assert request.header("Range") is None


# ---------------------------------------------------------------------------
# Statuses and the end of a transfer

# 206 is the socket-library client's answer to a resume, never the WinINet
# client's.
@pytest.mark.parametrize("client, status", [("poco", 404), ("poco", 500),
                                            ("wininet", 404), ("wininet", 500), ("wininet", 206)])
def test_unwanted_status_is_one_error_and_no_file(client, status, server, tmp_path):
    site = server({"/x": Reply(status, body=b"page")})
    local = tmp_path / "x"

    transcript = download(client, site.address, "x", local)

    assert transcript.sink() == ["OnError\t" + text_request_error(remote_of(client, "x"), status)]
    assert not local.exists()
    assert transcript.lines(4) == []


@pytest.mark.parametrize("client", CLIENTS)
def test_server_closing_before_the_announced_length_is_an_error_and_the_file_is_kept(client, server, tmp_path):
    body = bytes(range(256)) * 200
    site = server({"/f.zip": [Reply(body=body, cut=20000), FileRoute(body)]})
    local = tmp_path / "f.zip"

    transcript = download(client, site.address, "f.zip", local)

    start = ["OnStart\t/f.zip\t%d" % len(body)] if client == "poco" else []
    assert transcript.sink() == start + ["OnData\t20000", "OnError\t" + TEXT_INCOMPLETE]
    assert_idle_after(transcript)
    assert local.read_bytes() == body[:20000]

    download(client, site.address, "f.zip", local, 20000)
    assert local.read_bytes() == body


@pytest.mark.parametrize("reply", [
    Reply(body=b"z" * 70000, length=None),
    Reply(body=b"z" * 70000, chunked=True),
    Reply(body=b"z" * 70000, extra=b"beyond" * 100),
    Reply(body=b"", close=True),
], ids=["no-length", "chunked", "more-than-announced", "empty"])
@pytest.mark.parametrize("client", CLIENTS)
def test_answers_that_end_soundly_complete_with_the_body(client, reply, server, tmp_path):
    site = server({"/f": reply})
    local = tmp_path / "f"

    transcript = download(client, site.address, "f", local)

    body = reply.body
    announced = len(body) if reply.length == "auto" and not reply.chunked else 0
    start = ["OnStart\t/f\t%d" % announced] if client == "poco" else []
    data = ["OnData\t%d" % len(body)] if body else []
    assert transcript.sink() == start + data + ["OnComplete\t" + winpath(local)]
    assert local.read_bytes() == body
    assert_idle_after(transcript)


@pytest.mark.parametrize("client", CLIENTS)
def test_without_a_sink_an_early_end_resumes_on_its_own(client, server, tmp_path):
    body = bytes(range(256)) * 300
    site = server({"/f.zip": [Reply(body=body, cut=30000), FileRoute(body)]})
    local = tmp_path / "f.zip"

    transcript = probe(client, ("events", "off"), ("connect", site.address), ("download", "f.zip", winpath(local), 0),
                       ("process", 200), ("free", winpath(local)))

    assert transcript.sink() == []
    assert transcript.answer("free") == "free"
    assert local.read_bytes() == body
    resumed = "bytes=30000-" if client == "poco" else None
    assert [r.header("Range") for r in site.requests] == [None, resumed]


# ---------------------------------------------------------------------------
# Bad input: each ends in one error or a sound completion, idle, file released

POCO_BAD = "Malformed message: "

BAD_ANSWERS = [
    # (id, reply, socket-library client's end, WinINet client's end)
    # WinINet's client reads a length that is no number as none, to the end.
    ("negative-length", Reply(body=b"q" * 5000, length="-5", close=True),
     POCO_BAD + "Invalid Content-Length: -5", "complete"),
    ("length-not-a-number", Reply(body=b"q" * 5000, length="abc", close=True),
     "Syntax error: Not a valid integer: abc", "complete"),
    ("garbage-header-lines", Reply(raw=b"HTTP/1.1 200 OK\r\nno colon here\r\n\x01\x02\r\n\r\nbody"),
     "complete", "complete"),
    ("closed-in-status-line", Reply(raw=b"HTTP/1.1 20"),
     POCO_BAD + "Invalid HTTP status code", text_request_error("x", 0)),
    ("status-not-a-number", Reply(raw=b"HTTP/1.1 abc OK\r\nContent-Length: 3\r\n\r\nabc"),
     "Syntax error: Not a valid integer: abc", text_request_error("x", 0)),
    ("closed-in-header", Reply(raw=b"HTTP/1.1 200 OK\r\nContent-Len"),
     POCO_BAD + "Field name too long/no colon found", "complete"),
    ("closed-without-answer", Reply(raw=b""),
     "No message received", text_request_error("x", 0)),
]


@pytest.mark.parametrize("client", CLIENTS)
@pytest.mark.parametrize("case", BAD_ANSWERS, ids=[case[0] for case in BAD_ANSWERS])
def test_bad_answers_end_in_one_error_or_a_sound_completion(client, case, server, tmp_path):
    _, reply, poco_end, wininet_end = case
    site = server({"/x": reply, "/good": Reply(body=b"fine")})
    local = tmp_path / "x"

    transcript = download(client, site.address, "x", local, 0,
                          ("download", "good", winpath(tmp_path / "good"), 0), ("run", 100))

    end = poco_end if client == "poco" else wininet_end
    ends = [line for line in transcript.sink() if line.startswith(("OnComplete", "OnError"))]
    if end == "complete":
        assert ends[0] == "OnComplete\t" + winpath(local)
    else:
        assert ends[0] == "OnError\t" + end
    assert_idle_after(transcript)
    # The same client goes on with the next request.
    assert ends[1:] == ["OnComplete\t" + winpath(tmp_path / "good")]
    assert (tmp_path / "good").read_bytes() == b"fine"


# ---------------------------------------------------------------------------
# The local file

@pytest.mark.parametrize("case, code", [("folder-in-the-way", 5), ("full-disk", 112)])
@pytest.mark.parametrize("client", CLIENTS)
def test_file_that_cannot_be_created_or_written_is_one_error(client, case, code, server, tmp_path):
    site = server({"/x": Reply(body=b"data")})
    local = tmp_path / "x"
    if case == "full-disk":
        local.symlink_to("/dev/full")
    else:
        local.mkdir()

    transcript = download(client, site.address, "x", local, 0, ("systext", code))

    detail = transcript.answer("systext")
    expected = detail if case == "full-disk" else text_file_creation(winpath(local), detail)
    start = ["OnStart\t/x\t4"] if client == "poco" else []
    assert transcript.sink() == start + ["OnError\t" + expected]
    assert transcript.answer("systext") != ""
    assert transcript.lines(4) == []
    assert len(site.requests) == 1


@pytest.mark.parametrize("client", CLIENTS)
def test_running_download_holds_its_file_alone(client, server, tmp_path):
    site = server({"/x": Reply(body=b"k" * 100000)})
    path = winpath(tmp_path / "x")

    transcript = probe(client, ("connect", site.address), ("download", "x", path, 0), ("process", 1),
                       ("free", path), ("delete", path), ("run", 1000), ("free", path), ("delete", path))

    assert transcript.answer("free", 0) == "busy\t32"
    assert transcript.answer("delete", 0).startswith("failed")
    assert transcript.answer("free", 1) == "free"
    assert transcript.answer("delete", 1) == "deleted"


# ---------------------------------------------------------------------------
# Idle clients and the host

@pytest.mark.parametrize("client", CLIENTS)
def test_idle_client_does_nothing(client):
    transcript = probe(client, ("server",), ("process", 5), ("cancel",), ("process", 1))

    assert transcript.lines() == ["server\t"]


@pytest.mark.parametrize("client", CLIENTS)
def test_cancel_and_process_after_completion_do_nothing(client, server, tmp_path):
    site = server({"/x": Reply(body=b"done")})
    path = winpath(tmp_path / "x")

    transcript = probe(client, ("connect", site.address), ("server",), ("download", "x", path, 0), ("run", 100),
                       ("cancel",), ("process", 3), ("cancel",), ("free", path))

    assert transcript.answer("server") == site.address
    assert transcript.lines(4) == [] and transcript.lines(5) == [] and transcript.lines(6) == []
    assert transcript.answer("free") == "free"
    assert (tmp_path / "x").read_bytes() == b"done"


# ---------------------------------------------------------------------------
# Nothing at the other end

def expected_connection_error(client, code, name, transcript):
    if client == "poco":
        return "Connection refused"
    return text_wininet(191, code, transcript.answer("systext") or name)


@pytest.mark.parametrize("code, name", [(12029, "ERROR_INTERNET_CANNOT_CONNECT"),
                                        (12007, "ERROR_INTERNET_NAME_NOT_RESOLVED")],
                         ids=["refused", "unresolvable"])
@pytest.mark.parametrize("client", CLIENTS)
def test_unreachable_server_is_one_readable_error(client, code, name, tmp_path):
    host = free_address() if code == 12029 else UNRESOLVABLE_HOST
    local = tmp_path / "x"

    transcript = download(client, host, "x", local, 0, ("systext", code))

    if client == "poco" and code == 12007:
        # A machine without a resolver answers with a temporary DNS failure
        # rather than "not found"; either way the one error names the host.
        [line] = transcript.sink()
        assert line.startswith(("OnError\tHost not found: ", "OnError\tDNS error: ")), line
        assert line.endswith(UNRESOLVABLE_HOST)
    else:
        assert transcript.sink() == ["OnError\t" + expected_connection_error(client, code, name, transcript)]
    assert not local.exists()
    assert transcript.lines(4) == []


# ---------------------------------------------------------------------------
# WinINet client: failed connection, posts, proxy

def test_failed_connection_is_reported_by_the_next_download(tmp_path):
    transcript = probe("wininet", ("connect", ""), ("download", "x", winpath(tmp_path / "x"), 0), ("systext", 87))

    assert transcript.lines(0) == []
    assert transcript.sink() == ["OnError\t" + text_wininet(86, 87, transcript.answer("systext"))]
    assert not (tmp_path / "x").exists()


@pytest.mark.parametrize("events", ["on", "off"])
def test_post_sends_a_utf8_form_and_reads_the_status(server, events):
    site = server({"/reports/ok.asp": Reply(body=b"thanks"), "/reports/fail.asp": Reply(500)})

    # The euro sign is one byte in both ANSI code pages Wine is likely to
    # run with, and three in UTF-8.
    transcript = probe("wininet", ("events", events), ("connect", site.address),
                       ("post", "reports/ok.asp", "a=1&name=\u20ac\u00ab"), ("process", 3),
                       ("post", "reports/fail.asp", "b=2"), ("cancel",))

    assert transcript.answer("post", 0) == "true"
    assert transcript.lines(3) == []
    assert transcript.answer("post", 1) == "false"
    errors = [] if events == "off" else ["OnError\t" + text_request_error("reports/fail.asp", 500)]
    assert transcript.sink() == errors
    ok, fail = site.requests
    assert (ok.method, ok.target) == ("POST", "/reports/ok.asp")
    assert ok.body == "a=1&name=\u20ac\u00ab".encode("utf-8")
    assert ok.header("Content-Type") == "application/x-www-form-urlencoded; charset=UTF-8"
    assert ok.header("Accept") == "*/*"
    assert ok.header("User-Agent") == "OrvixLauncher"
    assert fail.body == b"b=2"


def test_post_to_nothing_is_one_error_and_false():
    transcript = probe("wininet", ("connect", free_address()), ("post", "reports/x.asp", "a=1"), ("systext", 12029))

    assert transcript.answer("post") == "false"
    detail = transcript.answer("systext") or "ERROR_INTERNET_CANNOT_CONNECT"
    assert transcript.sink() == ["OnError\t" + text_wininet(355, 12029, detail)]


def test_socket_client_post_sends_nothing(server):
    site = server({})

    transcript = probe("poco", ("connect", site.address), ("post", "reports/ok.asp", "a=1"))

    assert transcript.lines() == ["post\ttrue"]
    assert site.requests == []


INTERNET_SETTINGS = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"


def wine_reg(*args):
    subprocess.run(["wine", "reg", *args], env=wine_env(), capture_output=True, check=True, timeout=60)


@pytest.fixture
def system_proxy():
    """Sets the system's proxy for the test; back to none after it."""
    def set_proxy(enabled, server_text):
        wine_reg("add", INTERNET_SETTINGS, "/v", "ProxyEnable", "/t", "REG_DWORD", "/d", str(enabled), "/f")
        wine_reg("add", INTERNET_SETTINGS, "/v", "ProxyServer", "/t", "REG_SZ", "/d", server_text, "/f")

    yield set_proxy
    wine_reg("add", INTERNET_SETTINGS, "/v", "ProxyEnable", "/t", "REG_DWORD", "/d", "0", "/f")
    wine_reg("delete", INTERNET_SETTINGS, "/v", "ProxyServer", "/f")


def test_wininet_client_goes_through_the_system_proxy(server, system_proxy, tmp_path):
    proxy = server({"/files/x": Reply(body=b"via proxy")})
    system_proxy(1, proxy.address + ":80")

    transcript = download("wininet", "update.invalid", "files/x", tmp_path / "x")

    assert transcript.sink() == ["OnData\t9", "OnComplete\t" + winpath(tmp_path / "x")]
    assert [r.target for r in proxy.requests] == ["http://update.invalid:80/files/x"]


def test_proxy_flag_without_a_proxy_server_means_direct_access(server, system_proxy, tmp_path):
    site = server({"/x": Reply(body=b"direct")})
    system_proxy(1, "")

    transcript = download("wininet", site.address, "x", tmp_path / "x")

    assert transcript.sink() == ["OnData\t6", "OnComplete\t" + winpath(tmp_path / "x")]
    assert [r.target for r in site.requests] == ["/x"]


# ---------------------------------------------------------------------------
# Redirects: a download follows at most five, over http, to its own host or one
# of the server list; a post follows none.

def hop(location):
    return Reply(302, headers=[("Location", location)], body=b"moved")


# id: (routes, given the other server's address; whether that server is in the
# server list; how it ends; paths the first server saw, the other server saw)
REDIRECTS = {
    "same-host": (lambda other: {"/d/x": hop("y"), "/d/y": hop("/new/../z"), "/z": Reply(body=b"moved here")},
                  False, "complete", ["/d/x", "/d/y", "/z"], []),
    "five": (lambda other: dict([("/d/x", hop("/r1"))] + [("/r%d" % i, hop("/r%d" % (i + 1))) for i in range(1, 5)]
                                + [("/r5", Reply(body=b"moved here"))]),
             False, "complete", ["/d/x", "/r1", "/r2", "/r3", "/r4", "/r5"], []),
    "server-list-host": (lambda other: {"/d/x": hop("http://%s:80/z" % other)}, True, "complete",
                         ["/d/x"], ["/z"]),
    "foreign-host": (lambda other: {"/d/x": hop("http://%s/z" % other)}, False, "refused", ["/d/x"], []),
    "other-scheme": (lambda other: {"/d/x": hop("https://%s/z" % other)}, True, "refused", ["/d/x"], []),
    "other-port": (lambda other: {"/d/x": hop("http://%s:8080/z" % other)}, True, "refused",
                   ["/d/x"], []),
    "loop": (lambda other: {"/d/x": hop("/a"), "/a": hop("http://%s/d/x" % other.upper())}, False, "loop",
             ["/d/x", "/a"], []),
    "sixth": (lambda other: dict([("/d/x", hop("/r1"))] + [("/r%d" % i, hop("/r%d" % (i + 1))) for i in range(1, 7)]),
              False, "loop", ["/d/x", "/r1", "/r2", "/r3", "/r4", "/r5"], []),
}


@pytest.mark.parametrize("case", REDIRECTS)
@pytest.mark.parametrize("client", CLIENTS)
def test_download_follows_only_the_redirects_allowed(client, case, server, tmp_path):
    other = server({"/z": Reply(body=b"moved here")})
    routes, listed, end, seen, seen_other = REDIRECTS[case]
    # The loop comes back to the first server by its address.
    site = server({})
    site.routes.update(routes(other.address if case != "loop" else site.address))
    local = tmp_path / "x"

    transcript = probe(client, ("hosts", other.address) if listed else ("hosts",), ("connect", site.address),
                       ("download", "d/x", winpath(local), 0), ("run", 100), ("free", winpath(local)), ("process", 3))

    path = remote_of(client, "d/x")
    errors = [line for line in transcript.sink() if line.startswith("OnError")]
    if end == "complete":
        assert errors == [] and transcript.sink()[-1] == "OnComplete\t" + winpath(local)
        assert local.read_bytes() == b"moved here"
    else:
        location = routes(other.address)["/d/x"].headers[0][1]
        expected = text_redirect_refused(path, location) if end == "refused" else text_redirect_loop(path)
        assert transcript.sink() == ["OnError\t" + expected]
        assert not local.exists()
    assert [r.path for r in site.requests] == seen and [r.path for r in other.requests] == seen_other
    assert transcript.answer("free") in ("free", "missing") and transcript.lines(5) == []


@pytest.mark.parametrize("status", [301, 302, 303, 307, 308])
def test_post_answered_with_a_redirect_is_a_failure_and_goes_nowhere(status, server):
    other = server({"/landing.html": Reply(body=b"portal")})
    site = server({"/reports/r.asp": Reply(status, headers=[("Location", "http://%s/landing.html" % other.address)]),
                   "/landing.html": Reply(body=b"portal")})

    transcript = probe("wininet", ("connect", site.address), ("post", "reports/r.asp", "a=1"))

    assert transcript.answer("post") == "false"
    assert transcript.sink() == ["OnError\t" + text_request_error("reports/r.asp", status)]
    assert [(r.method, r.path) for r in site.requests] == [("POST", "/reports/r.asp")]
    assert other.requests == []


# ---------------------------------------------------------------------------
# Lengths: 64 bits on the wire, below 4 GiB on disk.

@pytest.mark.parametrize("length", [2**32 + 100, 2**32 - 1])
@pytest.mark.parametrize("client", CLIENTS)
def test_lengths_of_4_gib_and_more_are_refused_before_reading(client, length, server, tmp_path):
    site = server({"/x": Reply(body=b"b" * 200, length=length, close=True)})
    local = tmp_path / "x"

    transcript = download(client, site.address, "x", local)

    path = remote_of(client, "x")
    if length >= 2**32:
        assert transcript.sink() == ["OnError\t" + text_too_large(path, length)]
        assert not local.exists()
    else:
        start = ["OnStart\t/x\t%d" % length] if client == "poco" else []
        assert transcript.sink() == start + ["OnData\t200", "OnError\t" + TEXT_INCOMPLETE]
        assert local.stat().st_size == 200
    assert_idle_after(transcript)


# ---------------------------------------------------------------------------
# Deadlines: the whole header within 30 s, no silence in a body beyond 30 s,
# and an interruption ends a waiting request at once. The rows wait for real
# time, so they all run at once, each in a probe of its own.

DEADLINE_S = 30
# id: (answer, interrupt after ms, how the transfer ends, seconds it takes)
DEADLINES = {
    "header-trickle": (Reply(body=b"x", trickle_head=10), None, "stopped", DEADLINE_S),
    "silent": (Reply(silent=True), None, "stopped", DEADLINE_S),
    "stalled-mid-body": (Reply(body=b"s" * 100000, cut=5000, stall=True), None, "stopped", DEADLINE_S),
    "stalled-without-length": (Reply(body=b"s" * 100000, length=None, cut=5000, stall=True), None, "stopped",
                               DEADLINE_S),
    "body-trickle": (Reply(body=b"abcdef", trickle_body=2), None, "complete", 10),
    "interrupted": (Reply(silent=True), 1000, "stopped", 1),
}


def start_probe(client, commands, output):
    script = "".join("\t".join(str(field) for field in command) + "\n" for command in commands)
    process = subprocess.Popen([str(WINE_RUN), str(BUILD_DIR / "httpprobe.exe"), client], stdin=subprocess.PIPE,
                               stdout=output, stderr=subprocess.DEVNULL, env=wine_env())
    process.stdin.write(script.encode("utf-8"))
    process.stdin.close()
    return process


def test_deadlines_end_stalled_requests_and_let_trickles_run(server, tmp_path):
    runs = {}
    for case, (reply, interrupt, _, _) in DEADLINES.items():
        for client in CLIENTS:
            site = server({"/x": reply})
            local = tmp_path / ("%s-%s" % (client, case))
            commands = [("connect", site.address)] + ([("interrupt", interrupt)] if interrupt else []) + [
                ("elapsed",), ("download", "x", winpath(local), 0), ("run", 100000), ("elapsed",),
                ("free", winpath(local)), ("process", 3)]
            output = tempfile.TemporaryFile()
            runs[client, case] = (commands, output, start_probe(client, commands, output))

    failures = []
    for (client, case), (commands, output, process) in runs.items():
        process.wait(timeout=PROBE_TIMEOUT)
        output.seek(0)
        text = output.read()
        transcript = Transcript(text.decode("utf-8")) if text else probe(client, *commands)
        _, _, end, seconds = DEADLINES[case]
        took = int(transcript.answer("elapsed", 1)) / 1000
        print("%s %s: %.1f s" % (client, case, took))
        last = transcript.sink()[-1]
        expected = ("OnError\t" + text_stopped(remote_of(client, "x")) if end == "stopped"
                    else "OnComplete\t" + winpath(tmp_path / ("%s-%s" % (client, case))))
        released = transcript.answer("free") in ("free", "missing")
        if last != expected or not seconds - 1 <= took <= seconds + 2 or not released:
            failures.append("%s %s: %s after %.1f s" % (client, case, last, took))
        if case == "body-trickle" and transcript.chunks() != [1] * 6:
            failures.append("%s body-trickle: chunks %s" % (client, transcript.chunks()))
    assert failures == []
