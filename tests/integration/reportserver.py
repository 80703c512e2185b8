"""Runs tools/report_server.py for a test and reads what it stored."""
import json
import pathlib
import sqlite3
import subprocess
import sys

from conftest import BUILD_DIR

TOOL = pathlib.Path(__file__).resolve().parents[2] / "tools" / "report_server.py"
# Every report the launcher's code sent during test runs, for the report
# server's page: tools/report_server.py --database build/test-reports.db
KEPT_REPORTS = BUILD_DIR / "test-reports.db"
COLUMNS = "received, page, path, client, status, body, fields, guid, event"


class ReportServer:
    def __init__(self, address, database, *options, keep=False):
        """keep: add what the server stored to KEPT_REPORTS when it stops."""
        self.address = address
        self.keep = keep
        self.database = pathlib.Path(database)
        self.proc = subprocess.Popen(
            [sys.executable, str(TOOL), "--address", address, "--port", "80", "--database", str(self.database),
             *options], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        # The server says so once it accepts connections.
        line = self.proc.stdout.readline()
        if not line.startswith("listening"):
            self.proc.wait(timeout=10)
            raise RuntimeError("report server did not start: " + self.proc.stderr.read())

    def reports(self, page=None):
        """Stored reports in arrival order, each a dict with the decoded fields as a list of pairs."""
        db = sqlite3.connect(self.database)
        db.row_factory = sqlite3.Row
        try:
            rows = db.execute("SELECT * FROM reports ORDER BY id").fetchall()
        finally:
            db.close()
        result = []
        for row in rows:
            report = dict(row)
            report["fields"] = [tuple(pair) for pair in json.loads(report["fields"])]
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
        sys.path.insert(0, str(TOOL.parent))
        import report_server
        report_server.Store(str(KEPT_REPORTS))  # creates the table when the file is new
        db = sqlite3.connect(KEPT_REPORTS)
        try:
            db.execute("ATTACH DATABASE ? AS run", (str(self.database),))
            db.execute("INSERT INTO reports (%s) SELECT %s FROM run.reports ORDER BY id" % (COLUMNS, COLUMNS))
            db.commit()
        finally:
            db.close()
