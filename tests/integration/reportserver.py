"""Runs tools/report_server.py for a test and reads what it stored."""
import json
import pathlib
import sqlite3
import subprocess
import sys

TOOL = pathlib.Path(__file__).resolve().parents[2] / "tools" / "report_server.py"


class ReportServer:
    def __init__(self, address, database, *options):
        self.address = address
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
