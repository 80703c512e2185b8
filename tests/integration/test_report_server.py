"""The report server on its own: pages under both path forms, what it stores
in SQLite and in PostgreSQL, the failure answers tests ask for, bad input
refused and never stored, and its overview page behind the login."""
import base64
import http.client
import shutil
import socket
import subprocess

import pytest

from conftest import BUILD_DIR
from reportserver import ReportServer
from report_server.cluster import Cluster

ADDRESS = "127.0.6.10"
OTHER_CLIENT = "127.0.6.11"
OVERVIEW = (ADDRESS, 8080)
TOKEN = "test-token-of-this-run"
PAGES = ["reports-configs.asp", "reports-errors.asp", "reports-events.asp"]
FORM = {"Content-Type": "application/x-www-form-urlencoded; charset=UTF-8"}


@pytest.fixture(scope="module")
def postgres():
    cluster = Cluster()
    yield cluster
    cluster.stop()


@pytest.fixture(params=["sqlite", "postgresql"])
def database(request, tmp_path):
    if request.param == "sqlite":
        return tmp_path / "reports.db"
    address = request.getfixturevalue("postgres").address
    ReportServer.drop_reports(address)
    return address


@pytest.fixture
def start_server(tmp_path):
    servers = []

    def start(*options, database=tmp_path / "reports.db"):
        server = ReportServer(ADDRESS, database, "--overview-token", TOKEN, "--overview", "%s:%d" % OVERVIEW,
                              *options)
        servers.append(server)
        return server
    yield start
    for server in servers:
        server.stop()


def request(method, target, body=None, headers=None, address=(ADDRESS, 80), source=None):
    """(status, body text) of one request."""
    connection = http.client.HTTPConnection(*address, timeout=30, source_address=source and (source, 0))
    try:
        connection.request(method, target, body, headers or {})
        response = connection.getresponse()
        return response.status, response.read().decode("utf-8")
    finally:
        connection.close()


def post(target, body, headers=FORM, source=None):
    return request("POST", target, body, headers, source=source)[0]


def login(token=TOKEN):
    return {"Authorization": "Basic " + base64.b64encode(b"admin:" + token.encode()).decode()}


@pytest.mark.parametrize("prefix", ["/", "/launcher/", "http://reports.invalid/launcher/"])
def test_three_pages_under_both_path_forms(start_server, database, prefix):
    server = start_server(database=database)
    for page in PAGES:
        assert post(prefix + page, b"guid={A}&event=1") == 200
    reports = server.reports()
    assert [r["page"] for r in reports] == ["configs", "errors", "events"]
    assert [r["path"] for r in reports] == [prefix + page for page in PAGES]
    assert all(r["status"] == 200 and r["client"].startswith("127.") and r["received"] for r in reports)


def test_unknown_pages_are_refused_and_not_stored(start_server):
    server = start_server()
    assert post("/reports-other.asp", b"guid={A}") == 404
    assert post("/launcher/launcher/reports-events.asp", b"guid={A}") == 404
    assert request("GET", "/")[0] == 404
    assert server.reports() == []


def test_body_is_kept_exactly_and_its_fields_decoded_in_order(start_server, database):
    server = start_server(database=database)
    body = (b"guid={0F8FAD5B-D9CB-469F-A165-70867728950E}&event=10&percent=5&text="
            b"%D0%9E%D1%88%D0%B8%D0%B1%D0%BA%D0%B0%20a+b%2B%25&empty=&broken=%E2%82&cut=%")
    assert post("/launcher/reports-events.asp", body) == 200
    [report] = server.reports()
    assert report["body"] == body
    assert report["guid"] == "{0F8FAD5B-D9CB-469F-A165-70867728950E}"
    assert report["event"] == 10
    assert report["fields"] == [
        ("guid", "{0F8FAD5B-D9CB-469F-A165-70867728950E}"), ("event", "10"), ("percent", "5"),
        ("text", "Ошибка a+b+%"), ("empty", ""), ("broken", "\ufffd"), ("cut", "%")]


def test_configuration_identifier_is_decoded(start_server):
    server = start_server()
    assert post("/reports-configs.asp", b"cpu=Intel&gfx=GeForce%20%20&guid=%7BAB-CD%7D") == 200
    [report] = server.reports()
    assert report["guid"] == "{AB-CD}"
    assert report["event"] is None
    assert ("gfx", "GeForce  ") in report["fields"]


def test_failure_answers_per_page_and_per_request(start_server):
    server = start_server("--fail", "errors=500:1", "--fail", "configs=503")
    assert post("/reports-errors.asp", b"guid={A}&errlog=one") == 500
    assert post("/reports-errors.asp", b"guid={A}&errlog=two") == 200
    assert post("/reports-configs.asp", b"cpu=a&gfx=b&guid=%7BA%7D") == 503
    assert post("/reports-configs.asp", b"cpu=a&gfx=b&guid=%7BA%7D") == 503
    assert post("/reports-events.asp", b"guid={A}&event=1") == 200
    assert [(r["page"], r["status"]) for r in server.reports()] == [
        ("errors", 500), ("errors", 200), ("configs", 503), ("configs", 503), ("events", 200)]


def test_one_status_for_every_report(start_server):
    server = start_server("--status", "500")
    for page in PAGES:
        assert post("/" + page, b"guid={A}&event=2") == 500
    assert {r["status"] for r in server.reports()} == {500}


def raw_exchange(head, body=b"", close_after=False):
    """Sends a request as bytes (closing the sending side after it when
    close_after); the status answered, or None when the server said nothing."""
    with socket.create_connection((ADDRESS, 80), timeout=30) as connection:
        connection.sendall(head.replace(b"\n", b"\r\n") + b"\r\n" + body)
        if close_after:
            connection.shutdown(socket.SHUT_WR)
        answer = connection.makefile("rb").readline()
    return int(answer.split()[1]) if answer else None


def head(length_lines, target=b"/reports-events.asp"):
    return b"POST " + target + b" HTTP/1.1\nHost: reports\n" + length_lines


@pytest.mark.parametrize("request_head, body, close_after, status", [
    (head(b"Content-Length: \xc2\xb2\n"), b"gu", False, 400),
    (head("Content-Length: \u0661\u0662\n".encode()), b"guid={A}&eve", False, 400),
    (head(b"Content-Length: many\n"), b"guid={A}", False, 400),
    (head(b"Content-Length: 16\nContent-Length: 8\n"), b"guid={A}&event=1", False, 400),
    (head(b"Content-Length: 30\n"), b"guid={A}&event=1", True, 400),          # shorter than announced
    (head(b"Transfer-Encoding: chunked\n"), b"10\r\nguid={A}&event=1\r\n0\r\n\r\n", False, 411),
    (head(b"Content-Length: 16\nTransfer-Encoding: chunked\n"), b"10\r\nguid={A}&event=1\r\n0\r\n\r\n", False,
     400),
    (head(b""), b"", True, 411),
    (head(b"Content-Length: 2097152\n"), b"", False, 413),
    (head(b"Content-Length: 21\n"), b"guid={A}&event=%C2%B2", False, 400),
    (head(b"Content-Length: 39\n"), b"guid={A}&event=123456789012345678901234", False, 400),
    (head(b"Content-Length: 25\n"), b"guid={A}&event=2147483648", False, 400),
    (head(b"Content-Length: 8\n"), b"guid={A}", False, 400),                  # an event report without event
    (head(b"Content-Length: 14\n", b"/reports-configs.asp"), b"cpu=a&event=1x", False, 400),
])
def test_bad_input_is_refused_and_never_stored(start_server, request_head, body, close_after, status):
    server = start_server()
    assert raw_exchange(request_head, body, close_after) == status
    assert post("/reports-events.asp", b"guid={A}&event=3") == 200
    assert server.bodies() == ["guid={A}&event=3"]


def test_reports_beyond_the_rate_are_refused_per_address(start_server):
    server = start_server("--rate", "1", "--burst", "3")
    assert [post("/reports-events.asp", b"guid={A}&event=1") for _ in range(4)] == [200, 200, 200, 429]
    assert post("/reports-events.asp", b"guid={B}&event=1", source=OTHER_CLIENT) == 200
    assert [r["client"] for r in server.reports()] == ["127.0.0.1"] * 3 + [OTHER_CLIENT]


def test_old_reports_are_purged(start_server, tmp_path):
    database = tmp_path / "reports.db"
    start_server(database=database).stop()
    ReportServer.insert_old_report(database, "2000-01-01T00:00:00.000Z")
    server = start_server("--retention-days", "1", database=database)
    assert post("/reports-events.asp", b"guid={A}&event=1") == 200
    assert server.bodies() == ["guid={A}&event=1"]


def overview(target, headers=None):
    return request("GET", target, headers=headers, address=OVERVIEW)


def test_overview_refuses_without_the_login(start_server):
    start_server()
    assert post("/reports-events.asp", b"guid={SECRET}&event=1") == 200
    for headers in [None, login("wrong-token"), {"Authorization": "Bearer " + TOKEN}, {"Authorization": "Basic !"}]:
        for target in ["/", "/chart", "/?guid=%7BSECRET%7D"]:
            status, page = overview(target, headers)
            assert status == 401 and "SECRET" not in page
    assert overview("/", login())[0] == 200


def test_overview_lists_reports_escaped_and_cut_and_counts_per_event(start_server, database):
    start_server(database=database)
    for body in [b"guid={M1}&event=1", b"guid={M1}&event=10&text=%3Cscript%3Ealert(1)%3C%2Fscript%3E",
                 b"guid={M1}&event=10&text=again", b"guid={M2}&event=1", b"guid=%3Cb%3E&event=3"]:
        assert post("/launcher/reports-events.asp", body) == 200
    assert post("/reports-errors.asp", b"guid={M2}&errlog=" + b"y" * 5000) == 200

    status, page = overview("/", login())
    assert status == 200
    assert ">{M1}</a>" in page and ">{M2}</a>" in page
    assert "<script>" not in page and "<b>" not in page
    assert "&lt;script&gt;alert(1)&lt;/script&gt;" in page
    assert "y" * 5000 not in page
    assert "127.0.0.0/24" in page and "127.0.0.1" not in page

    status, page = overview("/chart", login())
    assert status == 200 and "<svg" in page
    for event, count in [(1, 2), (3, 1), (10, 2)]:
        assert "<tr><td>%d</td><td>%d</td></tr>" % (event, count) in page

    status, page = overview("/?guid=%7BM2%7D", login())
    assert page.count("<tr><td>") == 2 + 2  # two pages counted, two reports of M2


def test_overview_in_a_real_browser(start_server):
    """Headless Chromium loads both views logged in; the screenshot of the
    chart is kept in the build folder (README's picture comes from it)."""
    chromium = shutil.which("chromium")
    start_server()
    for event in [1, 1, 2, 3, 10, 10, 10, 11]:
        assert post("/launcher/reports-events.asp", b"guid={M1}&event=%d" % event) == 200
    url = "http://admin:%s@%s:%d/" % (TOKEN, *OVERVIEW)
    browser = [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--user-data-dir=" + str(BUILD_DIR / "chromium")]
    dom = subprocess.run(browser + ["--dump-dom", url + "chart"], capture_output=True, text=True, timeout=120).stdout
    assert "<svg" in dom and "<tr><td>10</td><td>3</td></tr>" in dom
    screenshot = BUILD_DIR / "report-overview.png"
    screenshot.unlink(missing_ok=True)
    subprocess.run(browser + ["--window-size=900,760", "--screenshot=" + str(screenshot), url + "chart"],
                   capture_output=True, timeout=120)
    assert screenshot.stat().st_size > 10000
