"""A private PostgreSQL cluster in a temporary folder, for the tests and the
benchmark: no port, only a socket in its own folder; run as the "postgres"
user when started by root, since initdb refuses root."""
import os
import pathlib
import pwd
import shutil
import subprocess
import tempfile

PG_BIN = pathlib.Path("/usr/lib/postgresql/15/bin")


class Cluster:
    def __init__(self, settings=()):
        """settings: extra "name=value" server settings."""
        self.folder = pathlib.Path(tempfile.mkdtemp(prefix="tarnhold-pg-"))
        self.user = []
        if os.geteuid() == 0:
            owner = pwd.getpwnam("postgres")
            os.chown(self.folder, owner.pw_uid, owner.pw_gid)
            self.user = ["runuser", "-u", "postgres", "--"]
        self.data = self.folder / "data"
        self.run("initdb", "-D", self.data, "-A", "trust", "-U", "postgres", "--no-sync")
        server_options = " ".join(["-k %s" % self.folder, "-c listen_addresses=''"] +
                                  ["-c %s" % setting for setting in settings])
        self.run("pg_ctl", "-D", self.data, "-l", self.folder / "server.log", "-o", server_options, "-w", "start")
        self.address = "postgresql:///postgres?host=%s&user=postgres" % self.folder

    def run(self, program, *args):
        subprocess.run(self.user + [str(PG_BIN / program), *map(str, args)], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def stop(self):
        try:
            self.run("pg_ctl", "-D", self.data, "-m", "immediate", "-w", "stop")
        finally:
            shutil.rmtree(self.folder, ignore_errors=True)
