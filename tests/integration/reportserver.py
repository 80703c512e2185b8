"""Runs the report server (tools/report_server) for a test and reads what it stored."""
import pathlib
import sqlite3
import subprocess
import sys

from conftest import BUILD_DIR

TOOL = pathlib.Path(__file__).resolve().parents[2] / "tools" / "report_server"
sys.path.insert(0, str(TOOL.parent))
from report_server.forms import decode_fields  # noqa: E402
from report_server.storage import COLUMNS, INSERT, SqliteStore, open_store  # noqa: E402

# Every report the launcher's code sent during test runs, for the report
# server's page: python3 tools/report_server --database build/test-reports.db
KEPT_REPORTS = BUILD_DIR / "test-reports.db"


class ReportServer:
    def __init__(self, address, database, *options, keep=False):
        """database: an SQLite file or a postgresql:// address; keep: add what
        the server stored to KEPT_REPORTS when it stops."""
        self.address = address
        self.keep = keep
        self.database = str(database)
        self.proc = subprocess.Popen(
            [sys.executable, str(TOOL), "--address", address, "--port", "80", "--database", self.database,
             *options], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        # The server says so once it accepts connections.
        line = self.proc.stdout.readline()
        if not line.startswith("listening"):
            self.proc.wait(timeout=10)
            raise RuntimeError("report server did not start: " + self.proc.stderr.read())

    @staticmethod
    def drop_reports(database):
        """Empties a database an earlier test used."""
        store = open_store(str(database))
        store.execute("DROP TABLE reports", fetch=False)
        store.close()

    @staticmethod
    def insert_old_report(database, received):
        store = open_store(str(database))
        store.execute(INSERT.replace("?", "'%s'" % received, 1),
                      ("events", "/reports-events.asp", "127.0.0.1", 200, b"guid={OLD}&event=1", "{OLD}", 1),
                      fetch=False)
        store.close()

    def reports(self, page=None):
        """Stored reports in arrival order, each a dict with the body's fields as a list of pairs."""
        store = open_store(self.database)
        try:
            rows = store.execute("SELECT %s FROM reports ORDER BY id" % COLUMNS)
        finally:
            store.close()
        result = []
        for row in rows:
            report = dict(zip(COLUMNS.split(", "), row))
            report["body"] = bytes(report["body"])
            report["fields"] = decode_fields(report["body"])
            if page is None or report["page"] == page:
                result.append(report)
        return result

    def bodies(self, page=None):
        return [report["body"].decode("ascii") for report in self.reports(page)]

    def stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)
        self.proc.stdout.close()
        self.proc.stderr.close()
        if self.keep:
            self.keep_reports()

    def keep_reports(self):
        SqliteStore(str(KEPT_REPORTS)).close()  # creates the table when the file is new
        columns = ", ".join(COLUMNS.split(", ")[1:])  # all but the id
        db = sqlite3.connect(KEPT_REPORTS)
        try:
            db.execute("ATTACH DATABASE ? AS run", (self.database,))
            db.execute("INSERT INTO reports (%s) SELECT %s FROM run.reports ORDER BY id" % (columns, columns))
            db.commit()
        finally:
            db.close()
