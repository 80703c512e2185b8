"""Report server of the Tarnhold launcher, run by gunicorn.

Takes the launcher's three report pages (configuration, error logs, events)
under both path forms of the string table ("reports-events.asp" and
"launcher/reports-events.asp"), checks each post whole and keeps it once, raw,
in SQLite (a file name) or PostgreSQL (a "postgresql://" address). The
overview page listens on a second address, loopback by default, and asks for
the login token (--overview-token or the environment's TARNHOLD_REPORTS_TOKEN;
without one it is not served).

    python3 tools/report_server [--address 127.0.0.2] [--port 80] [--database reports.db]
                                [--status 200] [--fail PAGE=STATUS[:COUNT] ...]

--status sets the answer for every report; --fail overrides it for one page
(configs, errors or events), for its first COUNT reports only when COUNT is
given. Refused reports are kept too, with the status they were answered with.
The server prints one line "listening on ADDRESS:PORT" once it accepts
connections. In production it runs behind nginx (see README), which holds
slow clients, so gunicorn's workers only ever see whole requests.
"""
import argparse
import os
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))

import gunicorn.app.base  # noqa: E402

from report_server.limits import Answers, RateLimiter, Schedule  # noqa: E402
from report_server.overview import OverviewApp  # noqa: E402
from report_server.reports import ReportApp  # noqa: E402
from report_server.storage import open_store  # noqa: E402

# An error log is cut to 65536 encoded characters by the launcher; its
# largest report is a little more than that.
MAX_BODY_BYTES = 128 << 10
PURGE_PERIOD = 3600
LOGINS_PER_MINUTE = 20


def host_port(text):
    host, _, port = text.rpartition(":")
    if not host or not port.isascii() or not port.isdigit():
        raise argparse.ArgumentTypeError("expected ADDRESS:PORT, got %r" % text)
    return host.strip("[]"), int(port)


def bind_text(host, port):
    return ("[%s]:%d" if ":" in host else "%s:%d") % (host, port)


def options():
    parser = argparse.ArgumentParser(description="Report server of the Tarnhold launcher.")
    parser.add_argument("--address", default="127.0.0.2", help="address to listen on (default 127.0.0.2)")
    parser.add_argument("--port", type=int, default=80, help="port (default 80)")
    parser.add_argument("--database", default="reports.db",
                        help="SQLite database file, or a postgresql:// address (default reports.db)")
    parser.add_argument("--status", type=int, default=200, help="status every report is answered with")
    parser.add_argument("--fail", action="append", default=[], metavar="PAGE=STATUS[:COUNT]",
                        help="answer reports of PAGE (configs, errors, events) with STATUS, the first COUNT only")
    parser.add_argument("--overview", type=host_port, default=("127.0.0.1", 8080), metavar="ADDRESS:PORT",
                        help="listener of the overview page (default 127.0.0.1:8080)")
    parser.add_argument("--overview-token", default=os.environ.get("TARNHOLD_REPORTS_TOKEN"),
                        help="login token of the overview page (default: $TARNHOLD_REPORTS_TOKEN)")
    parser.add_argument("--workers", type=int, default=2, help="worker processes (default 2)")
    parser.add_argument("--rate", type=float, default=600,
                        help="reports a minute one client address may send, 0 for no limit (default 600)")
    parser.add_argument("--burst", type=int, default=200, help="reports a client may send at once (default 200)")
    parser.add_argument("--retention-days", type=int, default=90,
                        help="reports older than this are deleted, 0 keeps them (default 90)")
    parser.add_argument("--max-body", type=int, default=MAX_BODY_BYTES, help="largest body taken, in bytes")
    parser.add_argument("--trusted-proxy", action="append", default=[], metavar="ADDRESS",
                        help="front server (nginx) whose X-Real-IP names the client")
    parser.add_argument("--verbose", action="store_true", help="log every request on standard error")
    return parser


class Server(gunicorn.app.base.BaseApplication):
    """gunicorn with our application and settings, no configuration file."""

    def __init__(self, application, settings):
        self.application = application
        self.settings = settings
        super().__init__()

    def load_config(self):
        for name, value in self.settings.items():
            self.cfg.set(name, value)

    def load(self):
        return self.application


def dispatcher(reports, overview, overview_address):
    """Routes by the listener a request came in on, never by what it says."""
    def dispatch(environ, start_response):
        listener = (environ.get("SERVER_NAME"), environ.get("SERVER_PORT"))
        if overview is not None and listener == overview_address:
            return overview(environ, start_response)
        return reports(environ, start_response)
    return dispatch


def main():
    parser = options()
    args = parser.parse_args()
    try:
        answers = Answers(args.status, args.fail)
    except ValueError as error:
        parser.error(str(error))
    store = open_store(args.database)
    store.close()
    reports = ReportApp(store, answers, RateLimiter(args.rate, args.burst), Schedule(PURGE_PERIOD),
                        args.retention_days, args.max_body, args.trusted_proxy)
    binds = [bind_text(args.address, args.port)]
    overview = None
    if args.overview_token:
        overview = OverviewApp(store, args.overview_token, RateLimiter(LOGINS_PER_MINUTE, LOGINS_PER_MINUTE),
                               args.trusted_proxy)
        binds.append(bind_text(*args.overview))
    else:
        print("report server: no overview token given, the overview page is off", file=sys.stderr, flush=True)

    def when_ready(_):
        print("listening on %s:%d" % (args.address, args.port), flush=True)
        if overview is not None:
            print("overview on http://%s/" % bind_text(*args.overview), flush=True)

    Server(dispatcher(reports, overview, (args.overview[0], str(args.overview[1]))), {
        "bind": binds,
        "workers": args.workers,
        "worker_class": "sync",
        # A worker stuck this long on one request is replaced.
        "timeout": 30,
        "graceful_timeout": 5,
        "limit_request_line": 4094,
        "limit_request_fields": 32,
        "limit_request_field_size": 8190,
        "accesslog": "-" if args.verbose else None,
        "loglevel": "info" if args.verbose else "warning",
        "proc_name": "tarnhold-reports",
        "when_ready": when_ready,
    }).run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
