#!/usr/bin/env python3
"""Report server of the Tarnhold launcher.

Accepts the launcher's three report pages (configuration, error logs, events),
under both path forms the string table uses ("reports-events.asp" and
"launcher/reports-events.asp"), keeps every report with its time, page, client
address, answered status, raw body and decoded fields in an SQLite database,
and shows the recent reports per machine identifier and the counts per event
on its start page.

    report_server.py [--address 127.0.0.2] [--port 80] [--database reports.db]
                     [--status 200] [--fail PAGE=STATUS[:COUNT] ...]

--status sets the answer for every report; --fail overrides it for one page
(configs, errors or events), for its first COUNT reports only when COUNT is
given. Refused reports are kept too, with the status they were answered with.
The server prints one line "listening on ADDRESS:PORT" once it accepts
connections. Standard library only.
"""
import argparse
import contextlib
import datetime
import html
import http.server
import json
import socketserver
import sqlite3
import sys
import threading
import urllib.parse

PAGES = {
    "reports-configs.asp": "configs",
    "reports-errors.asp": "errors",
    "reports-events.asp": "events",
}
for _name, _kind in list(PAGES.items()):
    PAGES["launcher/" + _name] = _kind

# An error log is cut to 65536 encoded characters by the launcher; anything far
# larger is no report of ours.
MAX_BODY_BYTES = 1 << 20
RECENT_PER_MACHINE = 20
MACHINES_SHOWN = 100
SHOWN_VALUE_CHARS = 300

SCHEMA = """
CREATE TABLE IF NOT EXISTS reports (
    id       INTEGER PRIMARY KEY AUTOINCREMENT,
    received TEXT    NOT NULL,  -- UTC, ISO 8601
    page     TEXT    NOT NULL,  -- configs, errors or events
    path     TEXT    NOT NULL,  -- request target as sent
    client   TEXT    NOT NULL,  -- client address
    status   INTEGER NOT NULL,  -- status the report was answered with
    body     BLOB    NOT NULL,  -- body exactly as received
    fields   TEXT    NOT NULL,  -- decoded fields: JSON list of [name, value], in body order
    guid     TEXT,              -- value of the "guid" field
    event    INTEGER            -- value of the "event" field, when numeric
);
CREATE INDEX IF NOT EXISTS reports_guid ON reports (guid, id);
"""


def decode_fields(body):
    """The form fields of a body in their order, values percent-decoded and read as UTF-8.

    "+" stays a plus sign: the launcher encodes blanks as %20 and a literal plus
    as %2B. Undecodable bytes become U+FFFD; a "%" without two hex digits stays.
    """
    fields = []
    for part in body.split(b"&"):
        if not part:
            continue
        name, _, value = part.partition(b"=")
        fields.append([urllib.parse.unquote_to_bytes(name).decode("utf-8", "replace"),
                       urllib.parse.unquote_to_bytes(value).decode("utf-8", "replace")])
    return fields


def page_of(target):
    """The report page a request target names, or None."""
    parsed = urllib.parse.urlsplit(target)
    return PAGES.get(parsed.path.lstrip("/"))


class Answers:
    """The status each report is answered with: one default, overridden per page,
    optionally for the first few reports of that page only."""

    def __init__(self, default, rules):
        self.default = default
        self.rules = {}
        self.lock = threading.Lock()
        for rule in rules:
            page, _, answer = rule.partition("=")
            status, _, count = answer.partition(":")
            if page not in PAGES.values() or not status.isdigit() or (count and not count.isdigit()):
                raise ValueError("bad --fail rule: %r" % rule)
            self.rules[page] = [int(status), int(count) if count else None]

    def next_status(self, page):
        with self.lock:
            rule = self.rules.get(page)
            if rule is None:
                return self.default
            status, remaining = rule
            if remaining is None:
                return status
            if remaining == 0:
                return self.default
            rule[1] = remaining - 1
            return status


class Store:
    def __init__(self, path):
        self.path = path
        self.lock = threading.Lock()
        with self.connect() as db:
            db.executescript(SCHEMA)

    @contextlib.contextmanager
    def connect(self):
        """A connection for one transaction: committed when the block ends, then closed."""
        db = sqlite3.connect(self.path, timeout=30)
        db.row_factory = sqlite3.Row
        try:
            with db:
                yield db
        finally:
            db.close()

    def add(self, page, path, client, status, body):
        fields = decode_fields(body)
        first = {}
        for name, value in fields:
            first.setdefault(name, value)
        event = first.get("event")
        now = datetime.datetime.now(datetime.timezone.utc)
        received = now.strftime("%Y-%m-%dT%H:%M:%S") + ".%03dZ" % (now.microsecond // 1000)
        row = (received, page, path, client, status, body, json.dumps(fields, ensure_ascii=False), first.get("guid"),
               int(event) if event is not None and event.lstrip("-").isdigit() else None)
        with self.lock, self.connect() as db:
            db.execute("INSERT INTO reports (received, page, path, client, status, body, fields, guid, event)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)", row)

    def overview(self):
        with self.connect() as db:
            counts = db.execute("SELECT event, COUNT(*) AS n FROM reports WHERE page = 'events' AND status = 200"
                                " GROUP BY event ORDER BY event").fetchall()
            totals = db.execute("SELECT page, COUNT(*) AS n FROM reports GROUP BY page ORDER BY page").fetchall()
            machines = db.execute("SELECT guid, MAX(id) AS last FROM reports GROUP BY guid"
                                  " ORDER BY last DESC LIMIT ?", (MACHINES_SHOWN,)).fetchall()
            recent = []
            for machine in machines:
                rows = db.execute("SELECT * FROM reports WHERE guid IS ? ORDER BY id DESC LIMIT ?",
                                  (machine["guid"], RECENT_PER_MACHINE)).fetchall()
                recent.append((machine["guid"], rows))
        return counts, totals, recent


def shown(value):
    value = value if len(value) <= SHOWN_VALUE_CHARS else value[:SHOWN_VALUE_CHARS] + "\u2026"
    return html.escape(value)


def render_overview(counts, totals, recent):
    out = ["<!DOCTYPE html>", "<html><head><meta charset=\"utf-8\"><title>Tarnhold reports</title>",
           "<style>body{font-family:sans-serif}table{border-collapse:collapse}"
           "td,th{border:1px solid #aaa;padding:2px 6px;vertical-align:top;text-align:left}"
           "code{white-space:pre-wrap;word-break:break-all}</style></head><body>",
           "<h1>Tarnhold reports</h1>", "<h2>Accepted event reports</h2>", "<table><tr><th>event</th><th>reports</th></tr>"]
    for row in counts:
        out.append("<tr><td>%s</td><td>%d</td></tr>" % (html.escape(str(row["event"])), row["n"]))
    out.append("</table><h2>Reports per page</h2><table><tr><th>page</th><th>reports</th></tr>")
    for row in totals:
        out.append("<tr><td>%s</td><td>%d</td></tr>" % (html.escape(row["page"]), row["n"]))
    out.append("</table><h2>Recent reports per machine</h2>")
    for guid, rows in recent:
        out.append("<h3>%s</h3>" % html.escape(guid if guid is not None else "(no machine identifier)"))
        out.append("<table><tr><th>time</th><th>page</th><th>status</th><th>client</th><th>fields</th></tr>")
        for row in rows:
            fields = "<br>".join("<code>%s=%s</code>" % (html.escape(name), shown(value))
                                 for name, value in json.loads(row["fields"]))
            out.append("<tr><td>%s</td><td>%s</td><td>%d</td><td>%s</td><td>%s</td></tr>" % (
                html.escape(row["received"]), html.escape(row["page"]), row["status"], html.escape(row["client"]),
                fields))
        out.append("</table>")
    out.append("</body></html>")
    return "\n".join(out).encode("utf-8")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TarnholdReports/1"

    def reply(self, status, body=b"", content_type="text/plain; charset=utf-8"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_POST(self):
        page = page_of(self.path)
        length_text = self.headers.get("Content-Length", "0")
        if not length_text.isdigit():
            self.close_connection = True
            self.reply(400, b"bad length\n")
            return
        length = int(length_text)
        if length > MAX_BODY_BYTES:
            self.close_connection = True
            self.reply(413, b"too large\n")
            return
        body = self.rfile.read(length)
        if page is None:
            self.reply(404, b"no such page\n")
            return
        status = self.server.answers.next_status(page)
        self.server.store.add(page, self.path, self.client_address[0], status, body)
        self.reply(status, b"OK\n" if status == 200 else b"refused\n")

    def do_GET(self):
        if urllib.parse.urlsplit(self.path).path not in ("/", "/index.html"):
            self.reply(404, b"no such page\n")
            return
        self.reply(200, render_overview(*self.server.store.overview()), "text/html; charset=utf-8")

    def log_message(self, format, *args):
        if self.server.verbose:
            super().log_message(format, *args)


class ReportServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, address, store, answers, verbose):
        super().__init__(address, Handler)
        self.store = store
        self.answers = answers
        self.verbose = verbose

    def server_bind(self):
        # HTTPServer's own looks up the address's host name, which costs
        # seconds on a machine without a reachable name server.
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address[:2]


def main(argv=None):
    parser = argparse.ArgumentParser(description="Report server of the Tarnhold launcher.")
    parser.add_argument("--address", default="127.0.0.2", help="address to listen on (default 127.0.0.2)")
    parser.add_argument("--port", type=int, default=80, help="port (default 80)")
    parser.add_argument("--database", default="reports.db", help="SQLite database file (default reports.db)")
    parser.add_argument("--status", type=int, default=200, help="status every report is answered with")
    parser.add_argument("--fail", action="append", default=[], metavar="PAGE=STATUS[:COUNT]",
                        help="answer reports of PAGE (configs, errors, events) with STATUS, the first COUNT only")
    parser.add_argument("--verbose", action="store_true", help="log every request on standard error")
    args = parser.parse_args(argv)
    try:
        answers = Answers(args.status, args.fail)
    except ValueError as error:
        parser.error(str(error))

    server = ReportServer((args.address, args.port), Store(args.database), answers, args.verbose)
    print("listening on %s:%d" % (args.address, args.port), flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
