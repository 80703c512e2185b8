"""nginx as the plain update server of tests and benchmarks: one instance per
address, its configuration, root and logs in a folder of its own."""
import socket
import subprocess
import time

NGINX_CONF = """
user root;
worker_processes 1;
pid {temp}/nginx.pid;
error_log {temp}/error.log;
events {{ worker_connections 64; }}
http {{
    log_format probe '$request|$status|$http_range|$http_user_agent';
    log_format timing '$request|$bytes_sent|$msec';
    access_log {temp}/access.log probe;
    access_log {temp}/timing.log timing;
    client_body_temp_path {temp}/body;
    proxy_temp_path {temp}/proxy;
    fastcgi_temp_path {temp}/fastcgi;
    scgi_temp_path {temp}/scgi;
    uwsgi_temp_path {temp}/uwsgi;
    default_type application/octet-stream;
    server {{
        listen {address}:80;
        root {root};
        limit_rate {rate};
    }}
}}
"""


class Nginx:
    """nginx serving the folder root (below temp) on address, port 80."""

    def __init__(self, temp, address):
        self.address = address
        self.temp = temp
        self.root = temp / "www"
        self.root.mkdir(parents=True)
        self.rate = None
        self._start()

    def _start(self):
        conf = self.temp / "nginx.conf"
        conf.write_text(NGINX_CONF.format(temp=self.temp, address=self.address, root=self.root,
                                          rate=self.rate or "0"))
        self.process = subprocess.Popen(["nginx", "-c", str(conf), "-g", "daemon off;"])
        for _ in range(100):
            try:
                socket.create_connection((self.address, 80), timeout=1).close()
                return
            except OSError:
                assert self.process.poll() is None, (self.temp / "error.log").read_text()
                time.sleep(0.05)
        raise RuntimeError("nginx did not start listening")

    def set_rate(self, rate):
        """Bytes per second per connection in nginx's notation ("300k"); None
        for no limit. Restarts the server; the access log goes on."""
        if rate == self.rate:
            return
        self.stop()
        self.rate = rate
        self._start()

    def log(self):
        """(request line, status, Range, User-Agent) of every request served."""
        lines = (self.temp / "access.log").read_text().splitlines()
        return [tuple(line.split("|")) for line in lines]

    def timings(self):
        """(request line, bytes sent, time it ended) of every request served."""
        lines = (self.temp / "timing.log").read_text().splitlines()
        return [(request, int(sent), float(end)) for request, sent, end in (line.split("|") for line in lines)]

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)
