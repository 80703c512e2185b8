"""The report server on its own: pages under both path forms, what it stores,
the failure answers tests ask for, and its overview page."""
import http.client

import pytest

from reportserver import ReportServer

ADDRESS = "127.0.6.10"
PAGES = ["reports-configs.asp", "reports-errors.asp", "reports-events.asp"]


@pytest.fixture
def start_server(tmp_path):
    servers = []

    def start(*options):
        server = ReportServer(ADDRESS, tmp_path / "reports.db", *options)
        servers.append(server)
        return server
    yield start
    for server in servers:
        server.stop()


def post(target, body, headers=None):
    connection = http.client.HTTPConnection(ADDRESS, 80, timeout=30)
    try:
        connection.request("POST", target, body,
                           headers or {"Content-Type": "application/x-www-form-urlencoded; charset=UTF-8"})
        response = connection.getresponse()
        response.read()
        return response.status
    finally:
        connection.close()


def get(target):
    connection = http.client.HTTPConnection(ADDRESS, 80, timeout=30)
    try:
        connection.request("GET", target)
        response = connection.getresponse()
        return response.status, response.read().decode("utf-8")
    finally:
        connection.close()


@pytest.mark.parametrize("prefix", ["/", "/launcher/", "http://reports.invalid/launcher/"])
def test_three_pages_under_both_path_forms(start_server, prefix):
    server = start_server()
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
    assert server.reports() == []


def test_body_is_kept_exactly_and_its_fields_decoded_in_order(start_server):
    server = start_server()
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


def announce(target, length):
    """Sends only the head of a post announcing a body of this length; the status answered."""
    connection = http.client.HTTPConnection(ADDRESS, 80, timeout=30)
    try:
        connection.putrequest("POST", target)
        connection.putheader("Content-Length", str(length))
        connection.endheaders()
        return connection.getresponse().status
    finally:
        connection.close()


def test_oversized_and_malformed_bodies_are_refused(start_server):
    server = start_server()
    # Refused on the announced length, before the body is read.
    assert announce("/reports-errors.asp", 2 << 20) == 413
    assert post("/reports-events.asp", b"guid={A}", {"Content-Length": "many"}) == 400
    assert server.reports() == []
    assert post("/reports-events.asp", b"guid={A}&event=3") == 200


def test_overview_lists_reports_per_machine_and_counts_per_event(start_server):
    server = start_server()
    for body in [b"guid={M1}&event=1", b"guid={M1}&event=10&text=%3Cscript%3Ealert(1)%3C%2Fscript%3E",
                 b"guid={M1}&event=10&text=again", b"guid={M2}&event=1", b"guid=%3Cb%3E&event=3"]:
        assert post("/launcher/reports-events.asp", body) == 200
    assert post("/reports-errors.asp", b"guid={M2}&errlog=" + b"y" * 5000) == 200

    status, page = get("/")
    assert status == 200
    assert "<tr><td>1</td><td>2</td></tr>" in page
    assert "<tr><td>10</td><td>2</td></tr>" in page
    assert "<tr><td>3</td><td>1</td></tr>" in page
    assert "<h3>{M1}</h3>" in page and "<h3>{M2}</h3>" in page
    assert "<script>" not in page and "<b>" not in page
    assert "&lt;script&gt;alert(1)&lt;/script&gt;" in page
    assert "y" * 5000 not in page
    assert len(server.reports()) == 6
    assert get("/reports.db")[0] == 404
