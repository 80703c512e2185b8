"""Where reports are kept: SQLite (a file name, the default) or PostgreSQL
(a "postgresql://" address), behind one small interface. Each report is
stored once, as the raw body; its fields are decoded when read. Every query
the overview page makes is bounded by a limit or by an index range."""
import datetime
import os
import sqlite3

# received is UTC text, "YYYY-MM-DDTHH:MM:SS.mmmZ": it sorts in time order
# and its first ten characters are the day, in both databases.
SCHEMA = """
CREATE TABLE IF NOT EXISTS reports (
    id       {id_type},
    received TEXT    NOT NULL,
    page     TEXT    NOT NULL,  -- configs, errors or events
    path     TEXT    NOT NULL,  -- request target as sent
    client   TEXT    NOT NULL,  -- client address
    status   INTEGER NOT NULL,  -- status the report was answered with
    body     {blob_type} NOT NULL,  -- body exactly as received
    guid     TEXT,              -- value of the first "guid" field
    event    INTEGER            -- value of the first "event" field
);
CREATE INDEX IF NOT EXISTS reports_guid ON reports (guid, id);
CREATE INDEX IF NOT EXISTS reports_received ON reports (received, page, status, event);
"""
COLUMNS = "id, received, page, path, client, status, body, guid, event"
INSERT = ("INSERT INTO reports (received, page, path, client, status, body, guid, event)"
          " VALUES (?, ?, ?, ?, ?, ?, ?, ?)")


def utc_text(moment):
    return moment.strftime("%Y-%m-%dT%H:%M:%S") + ".%03dZ" % (moment.microsecond // 1000)


def now_text():
    return utc_text(datetime.datetime.now(datetime.timezone.utc))


def days_ago_text(days):
    return utc_text(datetime.datetime.now(datetime.timezone.utc) - datetime.timedelta(days=days))


class Store:
    """The reports table through one connection per process (the server's
    workers fork after the store is made, so each opens its own)."""

    placeholder = "?"

    def __init__(self):
        self._connection = None
        self._pid = None

    def connection(self):
        if self._pid != os.getpid():
            self._connection = self.connect()
            self._pid = os.getpid()
        return self._connection

    def close(self):
        """Closes this process's connection; the server's master calls it before
        its workers fork, so none of them shares the master's."""
        if self._connection is not None:
            self._connection.close()
        self._connection = None
        self._pid = None

    def sql(self, text):
        return text.replace("?", self.placeholder)

    def execute(self, text, values=(), fetch=True):
        """Runs one statement in a transaction of its own; its rows when fetch."""
        db = self.connection()
        cursor = db.cursor()
        try:
            cursor.execute(self.sql(text), values)
            rows = cursor.fetchall() if fetch else None
            db.commit()
            return rows
        except BaseException:
            db.rollback()
            raise
        finally:
            cursor.close()

    def add(self, page, path, client, status, body, guid, event):
        self.execute(INSERT, (now_text(), page, path, client, status, self.blob(body), guid, event), fetch=False)

    def purge(self, days):
        """Deletes the reports older than days."""
        self.execute("DELETE FROM reports WHERE received < ?", (days_ago_text(days),), fetch=False)

    def recent(self, limit, before=None, guid=None, preview=600):
        """Up to limit reports, newest first, below id before, of one machine
        when guid is given; body is only its first preview bytes."""
        where, values = [], []
        if before is not None:
            where.append("id < ?")
            values.append(before)
        if guid is not None:
            where.append("guid = ?")
            values.append(guid)
        rows = self.execute(
            "SELECT id, received, page, status, client, guid, event, substr(body, 1, ?) AS body, length(body)"
            " FROM reports" + (" WHERE " + " AND ".join(where) if where else "") + " ORDER BY id DESC LIMIT ?",
            [preview, *values, limit])
        keys = ("id", "received", "page", "status", "client", "guid", "event", "body", "size")
        return [dict(zip(keys, row[:7] + (bytes(row[7]), row[8]))) for row in rows]

    def per_day_and_event(self, days, limit):
        """(day, event, accepted event reports) of the last days, the first limit rows."""
        return self.execute(
            "SELECT substr(received, 1, 10) AS day, event, COUNT(*) FROM reports"
            " WHERE received >= ? AND page = 'events' AND status = 200 GROUP BY day, event ORDER BY day, event"
            " LIMIT ?", (days_ago_text(days), limit))

    def per_page(self, days):
        """(page, reports) of the last days."""
        return self.execute("SELECT page, COUNT(*) FROM reports WHERE received >= ? GROUP BY page ORDER BY page",
                            (days_ago_text(days),))


class SqliteStore(Store):
    def __init__(self, path):
        super().__init__()
        self.path = path
        db = self.connection()
        db.executescript(SCHEMA.format(id_type="INTEGER PRIMARY KEY AUTOINCREMENT", blob_type="BLOB"))
        # Databases of the first server kept the decoded fields beside the body.
        if "fields" in [row[1] for row in db.execute("PRAGMA table_info(reports)")]:
            db.execute("ALTER TABLE reports DROP COLUMN fields")
        db.commit()

    def connect(self):
        db = sqlite3.connect(self.path, timeout=30)
        # Workers write side by side; a report answered 200 is on disk.
        db.execute("PRAGMA journal_mode=WAL")
        db.execute("PRAGMA synchronous=FULL")
        return db

    @staticmethod
    def blob(body):
        return body


class PostgresStore(Store):
    placeholder = "%s"

    def __init__(self, address):
        super().__init__()
        self.address = address
        self.execute(SCHEMA.format(id_type="BIGSERIAL PRIMARY KEY", blob_type="BYTEA"), fetch=False)

    def connect(self):
        import psycopg2
        return psycopg2.connect(self.address)

    def blob(self, body):
        import psycopg2
        return psycopg2.Binary(body)


def open_store(database):
    """The store a --database value names."""
    if database.startswith(("postgresql://", "postgres://")):
        return PostgresStore(database)
    return SqliteStore(database)
