"""The overview page, for the people who run the game, on a listener of its
own: the latest reports a page at a time, and a chart of reports per day and
per event. Every view needs the login (HTTP Basic, the token as password)."""
import base64
import binascii
import datetime
import hmac
import html
import ipaddress
import urllib.parse

from report_server.chart import stacked_bars
from report_server.forms import ASCII_NUMBER, MAX_GUID_CHARS, decode_fields
from report_server.reports import client_address, reply

PAGE_SIZE = 50
SHOWN_VALUE_CHARS = 300
SHOWN_FIELDS = 20
PREVIEW_BYTES = 1200
CHART_DAYS = 30
# Events beyond the most frequent ones share one colour, and the per-event
# chart shows the most frequent only.
CHART_EVENTS = 8
LISTED_EVENTS = 30
CHART_ROWS = 3000
STYLE = ("body{font-family:sans-serif;margin:1em 2em}table{border-collapse:collapse}"
         "td,th{border:1px solid #aaa;padding:2px 6px;vertical-align:top;text-align:left}"
         "code{white-space:pre-wrap;word-break:break-all}nav a{margin-right:1em}")
HEADERS = [("Content-Type", "text/html; charset=utf-8"), ("Cache-Control", "no-store"),
           ("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'; img-src data:"),
           ("X-Frame-Options", "DENY"), ("Referrer-Policy", "no-referrer")]


def truncated_address(address):
    """An address as the page shows it: IPv4 to its /24, IPv6 to its /48."""
    try:
        parsed = ipaddress.ip_address(address)
    except ValueError:
        return "?"
    prefix = 24 if parsed.version == 4 else 48
    return str(ipaddress.ip_network((parsed, prefix), strict=False))


def shown(value):
    value = value if len(value) <= SHOWN_VALUE_CHARS else value[:SHOWN_VALUE_CHARS] + "\u2026"
    return html.escape(value)


def document(title, parts):
    return "\n".join(['<!DOCTYPE html><html><head><meta charset="utf-8"><title>%s</title><style>%s</style>'
                      '</head><body>' % (html.escape(title), STYLE),
                      '<nav><a href="/">Latest reports</a><a href="/chart">Reports per day and event</a></nav>',
                      "<h1>%s</h1>" % html.escape(title), *parts, "</body></html>"])


class OverviewApp:
    def __init__(self, store, token, login_limiter, trusted_proxies=()):
        self.store = store
        self.token = token.encode("utf-8")
        self.login_limiter = login_limiter
        self.trusted_proxies = set(trusted_proxies)

    def __call__(self, environ, start_response):
        if not self.logged_in(environ):
            if not self.login_limiter.allow(client_address(environ, self.trusted_proxies)):
                return reply(start_response, 429, "too many logins\n", [("Retry-After", "60")])
            return reply(start_response, 401, "login required\n",
                         [("WWW-Authenticate", 'Basic realm="Tarnhold reports", charset="UTF-8"')])
        if environ["REQUEST_METHOD"] not in ("GET", "HEAD"):
            return reply(start_response, 405, "GET only\n")
        path = environ.get("PATH_INFO", "")
        query = urllib.parse.parse_qs(environ.get("QUERY_STRING", ""))
        if path == "/":
            page = self.latest(query)
        elif path == "/chart":
            page = self.chart()
        else:
            return reply(start_response, 404, "no such page\n")
        body = page.encode("utf-8")
        start_response("200 OK", HEADERS + [("Content-Length", str(len(body)))])
        return [body]

    def logged_in(self, environ):
        scheme, _, credentials = environ.get("HTTP_AUTHORIZATION", "").partition(" ")
        if scheme.lower() != "basic":
            return False
        try:
            _, _, password = base64.b64decode(credentials, validate=True).partition(b":")
        except (binascii.Error, ValueError):
            return False
        return hmac.compare_digest(password, self.token)

    def latest(self, query):
        before = query.get("before", [""])[0]
        before = int(before) if ASCII_NUMBER.fullmatch(before) else None
        guid = query.get("guid", [None])[0]
        guid = guid[:MAX_GUID_CHARS] if guid is not None else None
        rows = self.store.recent(PAGE_SIZE, before, guid, PREVIEW_BYTES)
        parts = ["<h2>Reports per page, last %d days</h2>" % CHART_DAYS,
                 "<table><tr><th>page</th><th>reports</th></tr>"]
        parts += ["<tr><td>%s</td><td>%d</td></tr>" % (html.escape(page), n) for page, n in
                  self.store.per_page(CHART_DAYS)]
        parts.append("</table>")
        heading = "Latest reports" if guid is None else "Latest reports of %s" % guid
        parts.append("<h2>%s</h2>" % html.escape(heading))
        parts.append("<table><tr><th>time (UTC)</th><th>machine</th><th>page</th><th>status</th><th>client</th>"
                     "<th>fields</th></tr>")
        for row in rows:
            machine = row["guid"] if row["guid"] is not None else "(none)"
            link = "/?" + urllib.parse.urlencode({"guid": row["guid"]}) if row["guid"] is not None else "/"
            fields = decode_fields(row["body"])
            more = len(fields) > SHOWN_FIELDS
            fields = "<br>".join("<code>%s=%s</code>" % (shown(name), shown(value))
                                 for name, value in fields[:SHOWN_FIELDS])
            if more or row["size"] > len(row["body"]):
                fields += "<br>(%d bytes in all)" % row["size"]
            parts.append('<tr><td>%s</td><td><a href="%s">%s</a></td><td>%s</td><td>%d</td><td>%s</td><td>%s</td>'
                         '</tr>' % (html.escape(row["received"]), html.escape(link), shown(machine),
                                    html.escape(row["page"]), row["status"],
                                    html.escape(truncated_address(row["client"])), fields))
        parts.append("</table>")
        if len(rows) == PAGE_SIZE:
            older = {"before": rows[-1]["id"], **({"guid": guid} if guid is not None else {})}
            parts.append('<p><a href="/?%s">Older reports</a></p>' % html.escape(urllib.parse.urlencode(older)))
        return document("Tarnhold reports", parts)

    def chart(self):
        counts = self.store.per_day_and_event(CHART_DAYS, CHART_ROWS)
        today = datetime.datetime.now(datetime.timezone.utc).date()
        days = [(today - datetime.timedelta(days=n)).isoformat() for n in range(CHART_DAYS - 1, -1, -1)]
        per_event = {}
        for _, event, n in counts:
            per_event[event] = per_event.get(event, 0) + n
        ranked = sorted(per_event, key=lambda event: (-per_event[event], event))
        shown_events = sorted(ranked[:CHART_EVENTS])
        names = {event: "event %d" % event for event in shown_events}
        series = {name: [0] * len(days) for name in names.values()}
        if len(ranked) > CHART_EVENTS:
            series["other events"] = [0] * len(days)
        for day, event, n in counts:
            if day in days:
                series[names.get(event, "other events")][days.index(day)] += n
        listed = sorted(ranked[:LISTED_EVENTS])
        parts = ["<h2>Accepted event reports per day, last %d days</h2>" % CHART_DAYS,
                 stacked_bars([day[5:] for day in days], list(series.items())),
                 "<h2>Accepted event reports per event</h2>",
                 stacked_bars([str(event) for event in listed], [("reports", [per_event[e] for e in listed])]),
                 "<table><tr><th>event</th><th>reports</th></tr>"]
        parts += ["<tr><td>%d</td><td>%d</td></tr>" % (event, per_event[event]) for event in listed]
        parts.append("</table>")
        return document("Tarnhold reports per day and event", parts)
