#!/usr/bin/env python3
"""Load on the report server, on loopback only, each phase bounded in time:

1. reports a second at a fixed number of concurrent clients, each report on
   a connection of its own as a launcher sends it, with p50 and p99 latency;
2. 1,000 idle connections held open while real reports go on (each must be
   answered within 1 s);
3. a header-trickle flood (clients sending a header line every second,
   reconnecting when dropped) while real reports go on.

Stacks, side by side: the first report server (http.server, SQLite), taken
from git history; the gunicorn server behind nginx with SQLite; the same with
PostgreSQL (a private cluster in a temporary folder); and gunicorn with
PostgreSQL alone, without nginx. Run as root (port 80, the postgres user for
the cluster), best in a network namespace of its own: unshare -n.

    bench/report_load.py [--seconds 10] [--clients 16] [--workers 8]
"""
import argparse
import multiprocessing
import os
import pathlib
import resource
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

SOURCE = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(SOURCE / "tools"))
from report_server.cluster import Cluster  # noqa: E402

FRONT = "127.0.23.1"        # where clients post (nginx, or the server itself)
IDLE_SOURCES = "127.0.24."  # idle and trickling clients come from many addresses
BODY = (b"guid={0F8FAD5B-D9CB-469F-A165-70867728950E}&event=10&percent=42&errors=3&seconds=17&bytes=123456"
        b"&option=-1&text=WinInet%20Error%20in%20row%20191.%2012029%20ERROR_INTERNET_CANNOT_CONNECT")
REQUEST = (b"POST /launcher/reports-events.asp HTTP/1.1\r\nHost: reports\r\nConnection: close\r\n"
           b"Content-Type: application/x-www-form-urlencoded; charset=UTF-8\r\n"
           b"Content-Length: %d\r\n\r\n" % len(BODY)) + BODY
IDLE_CONNECTIONS = 1000
TRICKLERS = 300
PROBE_TIMEOUT = 5.0
# A shell's default: soft 1024 descriptors (nginx raises its own).
SERVER_FILES = (1024, 4096)
NGINX_MAIN = """
worker_processes auto;
worker_rlimit_nofile 8192;
pid {temp}/nginx.pid;
error_log {temp}/error.log crit;
events {{ worker_connections 4096; }}
http {{
    access_log off;
    client_body_temp_path {temp}/body;
    proxy_temp_path {temp}/proxy;
    fastcgi_temp_path {temp}/fastcgi;
    scgi_temp_path {temp}/scgi;
    uwsgi_temp_path {temp}/uwsgi;
    {site}
}}
"""


def wait_listening(address, port, process, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            socket.create_connection((address, port), timeout=1).close()
            return
        except OSError:
            if process.poll() is not None:
                raise RuntimeError("%s ended at start" % process.args[:3])
            time.sleep(0.05)
    raise RuntimeError("nothing listens on %s:%d" % (address, port))


class Stack:
    """Processes started for one stack; stopped in reverse order."""

    def __init__(self, temp):
        self.temp = temp
        self.processes = []

    def start(self, command, address, port):
        # Servers get the usual descriptor limit, not the one the bench raised for itself.
        process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_NOFILE, SERVER_FILES))
        self.processes.append(process)
        wait_listening(address, port, process)

    def stop(self):
        for process in reversed(self.processes):
            process.terminate()
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


def old_server(stack):
    """The first report server, straight from git history."""
    removed = subprocess.run(["git", "-C", str(SOURCE), "rev-list", "-n1", "HEAD", "--", "tools/report_server.py"],
                             capture_output=True, text=True, check=True).stdout.strip()
    script = stack.temp / "old_report_server.py"
    script.write_bytes(subprocess.run(["git", "-C", str(SOURCE), "show", removed + "^:tools/report_server.py"],
                                      capture_output=True, check=True).stdout)
    stack.start([sys.executable, str(script), "--address", FRONT, "--port", "80",
                 "--database", str(stack.temp / "old.db")], FRONT, 80)


def new_server(stack, database, workers, behind_nginx):
    address, port = ("127.0.0.1", 8000) if behind_nginx else (FRONT, 80)
    stack.start([sys.executable, str(SOURCE / "tools" / "report_server"), "--address", address, "--port", str(port),
                 "--database", database, "--workers", str(workers), "--rate", "0", "--trusted-proxy", "127.0.0.1"],
                address, port)
    if behind_nginx:
        site = (SOURCE / "tools" / "report_server" / "nginx-site.conf").read_text()
        site = site.replace("listen 80;", "listen %s:80;" % FRONT)
        conf = stack.temp / "nginx.conf"
        conf.write_text(NGINX_MAIN.format(temp=stack.temp, site=site))
        stack.start(["nginx", "-c", str(conf), "-g", "daemon off;"], FRONT, 80)


def one_report(timeout=PROBE_TIMEOUT):
    """Latency of one report in seconds, or None when it failed or took longer than timeout."""
    start = time.monotonic()
    answer = b""
    try:
        with socket.create_connection((FRONT, 80), timeout=timeout) as connection:
            connection.sendall(REQUEST)
            while time.monotonic() - start < timeout:
                chunk = connection.recv(4096)
                if not chunk:
                    break
                answer += chunk
    except OSError:
        return None
    elapsed = time.monotonic() - start
    return elapsed if elapsed < timeout and answer.split(b" ", 2)[1:2] == [b"200"] else None


def load_process(clients, seconds, results):
    latencies = []
    deadline = time.monotonic() + seconds

    def client():
        while time.monotonic() < deadline:
            latencies.append(one_report())
    threads = [threading.Thread(target=client) for _ in range(clients)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    results.put(latencies)


def process_tree_cpu(roots):
    """CPU seconds the processes below roots (themselves included) have used."""
    children = {}
    for entry in pathlib.Path("/proc").iterdir():
        if entry.name.isdigit():
            try:
                fields = (entry / "stat").read_text().rsplit(")", 1)[1].split()
            except OSError:
                continue
            children.setdefault(int(fields[1]), []).append((int(entry.name), fields))
    ticks, todo = 0, list(roots)
    while todo:
        for pid, fields in children.get(todo.pop(), []):
            ticks += sum(int(value) for value in fields[11:15])
            todo.append(pid)
    for pid in roots:
        try:
            fields = pathlib.Path("/proc/%d/stat" % pid).read_text().rsplit(")", 1)[1].split()
            ticks += sum(int(value) for value in fields[11:15])
        except OSError:
            pass
    return ticks / os.sysconf("SC_CLK_TCK")


def throughput(clients, seconds, server_roots):
    """(reports a second, p50 ms, p99 ms, failed, server CPU ms a report) at
    clients concurrent clients, from two processes."""
    cpu_before = process_tree_cpu(server_roots)
    results = multiprocessing.Queue()
    processes = [multiprocessing.Process(target=load_process, args=(clients // 2, seconds, results)) for _ in range(2)]
    for process in processes:
        process.start()
    latencies = results.get() + results.get()
    for process in processes:
        process.join()
    cpu = process_tree_cpu(server_roots) - cpu_before
    good = sorted(latency for latency in latencies if latency is not None)
    if len(good) < 2:
        return 0.0, None, None, len(latencies), None
    quantiles = statistics.quantiles(good, n=100)
    return (len(good) / seconds, quantiles[49] * 1000, quantiles[98] * 1000, len(latencies) - len(good),
            cpu * 1000 / len(good))


def probes(seconds, pause=0.25):
    """(slowest latency in ms or None, failed, sent) of real reports sent one
    by one for seconds."""
    latencies = []
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        latencies.append(one_report())
        time.sleep(pause)
    good = [latency for latency in latencies if latency is not None]
    return (max(good) * 1000 if good else None), len(latencies) - len(good), len(latencies)


def idle_phase():
    """1,000 connections opened and left silent, then real reports."""
    idle = []
    for i in range(IDLE_CONNECTIONS):
        connection = socket.socket()
        connection.bind((IDLE_SOURCES + str(1 + i % 250), 0))
        connection.setblocking(False)
        try:
            connection.connect((FRONT, 80))
        except BlockingIOError:
            pass
        idle.append(connection)
    time.sleep(0.5)  # let the server accept them
    result = probes(5)
    for connection in idle:
        connection.close()
    return result


def trickle_phase(seconds):
    """Clients that send a header line a second and reconnect when dropped,
    while real reports go on."""
    stop = threading.Event()

    def trickler(index):
        source = IDLE_SOURCES + str(1 + index % 250)
        while not stop.is_set():
            try:
                with socket.socket() as connection:
                    connection.bind((source, 0))
                    connection.settimeout(2)
                    connection.connect((FRONT, 80))
                    connection.sendall(b"POST /reports-events.asp HTTP/1.1\r\n")
                    while not stop.wait(1):
                        connection.sendall(b"X-Trickle: %d\r\n" % index)
            except OSError:
                stop.wait(0.2)

    threads = [threading.Thread(target=trickler, args=(i,), daemon=True) for i in range(TRICKLERS)]
    for thread in threads:
        thread.start()
    time.sleep(1)
    result = probes(seconds)
    stop.set()
    for thread in threads:
        thread.join(5)
    return result


def shown(value, unit="", digits=0):
    return "-" if value is None else "%.*f%s" % (digits, value, unit)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=10, help="length of the throughput and trickle phases")
    parser.add_argument("--clients", type=int, default=16, help="concurrent clients of the throughput phase")
    parser.add_argument("--workers", type=int, default=8, help="gunicorn workers")
    args = parser.parse_args()
    # A bench ended by timeout still stops its servers and the cluster.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    _, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    subprocess.run(["ip", "addr", "show", "lo"], check=True, stdout=subprocess.DEVNULL)

    cluster = Cluster(["max_connections=50", "shared_buffers=64MB"])
    stacks = [
        ("first server (http.server, SQLite)", lambda s: old_server(s)),
        ("gunicorn + SQLite behind nginx", lambda s: new_server(s, str(s.temp / "reports.db"), args.workers, True)),
        ("gunicorn + PostgreSQL behind nginx", lambda s: new_server(s, cluster.address, args.workers, True)),
        ("gunicorn + PostgreSQL, no nginx", lambda s: new_server(s, cluster.address, args.workers, False)),
    ]
    print("%-36s %9s %6s %6s %6s %8s | %-22s | %-22s" % (
        "stack", "reports/s", "p50", "p99", "failed", "CPU/rep.", "idle: slowest, failed", "trickle: slowest, failed"),
        flush=True)
    postmaster = int((cluster.data / "postmaster.pid").read_text().split()[0])
    try:
        for name, start in stacks:
            temp = pathlib.Path(tempfile.mkdtemp(prefix="report-load-"))
            stack = Stack(temp)
            try:
                start(stack)
                roots = [process.pid for process in stack.processes] + [postmaster]
                rate, p50, p99, failed, cpu = throughput(args.clients, args.seconds, roots)
                idle = idle_phase()
                trickle = trickle_phase(args.seconds)
            finally:
                stack.stop()
                shutil.rmtree(temp, ignore_errors=True)
            print("%-36s %9.0f %4s ms %4s ms %6d %5s ms | %7s ms, %3d of %3d | %7s ms, %3d of %3d" % (
                name, rate, shown(p50), shown(p99), failed, shown(cpu, "", 2), shown(idle[0]), idle[1], idle[2],
                shown(trickle[0]), trickle[1], trickle[2]), flush=True)
    finally:
        cluster.stop()
    print("Load average of the machine (other work on it slows every stack): %.1f %.1f %.1f" % os.getloadavg())
    print("CPU/rep.: CPU time of the server's processes (PostgreSQL and nginx included) per report.")
    print("Goal with PostgreSQL: >= 2000 reports/s at p99 <= 100 ms; idle and trickle: every report in < 1000 ms.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
