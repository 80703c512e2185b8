"""The launchers' three report pages as a WSGI application: each post is
checked whole before anything is stored, then stored once and answered."""
import sys

from report_server.forms import BadReport, announced_length, machine_and_event, page_of


def reply(start_response, status, text, headers=()):
    body = text.encode("utf-8")
    start_response("%d %s" % (status, REASONS.get(status, "Status")),
                   [("Content-Type", "text/plain; charset=utf-8"), ("Content-Length", str(len(body))), *headers])
    return [body]


REASONS = {200: "OK", 400: "Bad Request", 401: "Unauthorized", 404: "Not Found", 405: "Method Not Allowed",
           411: "Length Required", 413: "Payload Too Large", 429: "Too Many Requests",
           500: "Internal Server Error", 503: "Service Unavailable"}


def client_address(environ, trusted_proxies):
    """The peer's address, or the one a trusted front server (nginx) names in X-Real-IP."""
    peer = environ.get("REMOTE_ADDR", "")
    if peer in trusted_proxies and environ.get("HTTP_X_REAL_IP"):
        return environ["HTTP_X_REAL_IP"]
    return peer


def log(text):
    print("report server: " + text, file=sys.stderr, flush=True)


class ReportApp:
    def __init__(self, store, answers, limiter, purge, retention_days, max_body, trusted_proxies=()):
        self.store = store
        self.answers = answers
        self.limiter = limiter
        self.purge = purge
        self.retention_days = retention_days
        self.max_body = max_body
        self.trusted_proxies = set(trusted_proxies)

    def __call__(self, environ, start_response):
        try:
            status, text = self.take(environ)
        except BadReport as refusal:
            headers = [("Retry-After", "60")] if refusal.status == 429 else []
            return reply(start_response, refusal.status, refusal.text, headers)
        return reply(start_response, status, text)

    def take(self, environ):
        """Checks, stores and answers one post: (status, text)."""
        method = environ["REQUEST_METHOD"]
        if method != "POST":
            raise BadReport(404, "no such page\n") if method in ("GET", "HEAD") else BadReport(405, "POST only\n")
        length = announced_length(environ.get("CONTENT_LENGTH"), environ.get("HTTP_TRANSFER_ENCODING"),
                                  self.max_body)
        page = page_of(environ.get("PATH_INFO", ""))
        if page is None:
            raise BadReport(404, "no such page\n")
        client = client_address(environ, self.trusted_proxies)
        if not self.limiter.allow(client):
            raise BadReport(429, "too many reports\n")
        body = environ["wsgi.input"].read(length)
        if len(body) != length:
            raise BadReport(400, "short body\n")
        guid, event = machine_and_event(page, body)
        status = self.answers.next_status(page)
        target = environ.get("RAW_URI") or environ.get("PATH_INFO", "")
        try:
            self.store.add(page, target, client, status, body, guid, event)
        except Exception as error:  # the database is down or full: the launcher keeps its report
            log("storing a report failed: %s" % error)
            raise BadReport(503, "not stored\n")
        if self.retention_days and self.purge.due():
            try:
                self.store.purge(self.retention_days)
            except Exception as error:
                log("purging old reports failed: %s" % error)
        return status, "OK\n" if status == 200 else "refused\n"
