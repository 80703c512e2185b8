#!/usr/bin/python3
"""A small scriptable HTTP/1.1 server for trying the launcher's HTTP clients
against answers a real server would rarely give on purpose.

Behaviours are chosen per request path: a plain answer with any status, headers
and body, one that lies about its length, stops early, stalls, trickles, never
answers, sends garbage or more than it announced, or a file served with ranges
as a real server does. A
path can hold a list of answers, used one per request, the last one repeating.
Every request is recorded as received: request line, headers in order and
body, so tests can check exactly what a client sent.

As a module (what the tests do):
    server = ScriptedHttpServer("127.0.3.20", {"/x": Reply(body=b"abc")})
    ... server.requests ...
    server.stop()
From the command line:
    test_http_server.py --bind 127.0.3.20 --routes routes.json [--log requests.jsonl]
where routes.json maps paths to answers (objects with the fields of Reply,
"body" as text; or {"file": PATH} for a file served with ranges).
"""
import argparse
import json
import re
import socketserver
import threading

READ_TIMEOUT = 120
TRICKLE_PAUSE = 0.05


class Reply:
    """One answer.

    status, reason: the status line.
    headers: extra header lines as (name, value) pairs, sent in order.
    body: the body bytes.
    length: the Content-Length to announce: "auto" (the body's length), None
        (no length; the connection is closed after the body), or any number or
        text, true or not.
    cut: send only this many body bytes, then close the connection.
    stall: after the headers and the bytes sent, hold the connection open,
        silent, until the server stops.
    pause: send only this many body bytes, then wait until the server stops
        or its test sets `released`, then send the rest.
    extra: bytes sent after the body, beyond what was announced.
    chunked: send the body in chunked transfer coding.
    raw: send these bytes instead of an answer, then close the connection.
    close: close the connection after the answer.
    silent: answer nothing, holding the connection open until the server stops.
    trickle_head, trickle_body: seconds between the single bytes of the
        header or of the body, sent one at a time.
    trickle: send the body this many bytes at a time, 20 times a second.
    """

    def __init__(self, status=200, reason=None, headers=(), body=b"", length="auto", cut=None, stall=False,
                 extra=b"", chunked=False, raw=None, close=False, silent=False, trickle_head=None,
                 trickle_body=None, pause=None, trickle=None):
        self.status = status
        self.reason = reason
        self.headers = list(headers)
        self.body = body
        self.length = length
        self.cut = cut
        self.stall = stall
        self.extra = extra
        self.chunked = chunked
        self.raw = raw
        self.close = close
        self.silent = silent
        self.trickle_head = trickle_head
        self.trickle_body = trickle_body
        self.pause = pause
        self.trickle = trickle

    def reply(self, request):
        return self


class FileRoute:
    """A file served as a static file server does: "Range: bytes=N-" gives 206
    with the rest, or 416 when N is at or past the end; no range, or one that
    does not parse, gives 200 with the whole file."""

    RANGE = re.compile(r"^bytes=(\d+)-$")

    def __init__(self, data):
        self.data = data

    def reply(self, request):
        match = self.RANGE.match(request.header("Range") or "")
        if not match:
            return Reply(body=self.data)
        start = int(match.group(1))
        if start >= len(self.data):
            return Reply(416, headers=[("Content-Range", "bytes */%d" % len(self.data))])
        return Reply(206, headers=[("Content-Range", "bytes %d-%d/%d" % (start, len(self.data) - 1, len(self.data)))],
                     body=self.data[start:])


class Request:
    def __init__(self, method, target, version, headers, body):
        self.method = method
        self.target = target
        self.version = version
        self.headers = headers
        self.body = body

    @property
    def path(self):
        """The target without scheme and host (a proxy gets absolute ones)."""
        return re.sub(r"^[a-zA-Z]+://[^/]*", "", self.target)

    def header(self, name):
        """The value of the first header of that name, or None."""
        for key, value in self.headers:
            if key.lower() == name.lower():
                return value
        return None

    def header_names(self):
        return [key for key, _ in self.headers]

    def as_json(self):
        return {"method": self.method, "target": self.target, "version": self.version,
                "headers": self.headers, "body": self.body.decode("latin-1")}


REASONS = {200: "OK", 206: "Partial Content", 404: "Not Found", 416: "Requested Range Not Satisfiable",
           500: "Internal Server Error"}


class _Handler(socketserver.BaseRequestHandler):
    def handle(self):
        owner = self.server.owner
        self.request.settimeout(READ_TIMEOUT)
        stream = self.request.makefile("rb")
        try:
            while True:
                request = self._read_request(stream)
                if request is None:
                    return
                owner.record(request)
                if not self._answer(owner.route(request).reply(request), owner):
                    return
        except OSError:
            return
        finally:
            stream.close()

    @staticmethod
    def _read_request(stream):
        line = stream.readline(65536)
        if not line:
            return None
        parts = line.decode("latin-1").rstrip("\r\n").split(" ")
        if len(parts) != 3:
            return None
        headers = []
        while True:
            header = stream.readline(65536).decode("latin-1").rstrip("\r\n")
            if not header:
                break
            name, _, value = header.partition(":")
            headers.append((name, value.strip()))
        request = Request(parts[0], parts[1], parts[2], headers, b"")
        length = request.header("Content-Length")
        if length:
            request.body = stream.read(int(length))
        return request

    def _answer(self, reply, owner):
        """Sends one answer; False when the connection is to be closed."""
        sock = self.request
        if reply.silent:
            owner.released.wait()
            return False
        if reply.raw is not None:
            sock.sendall(reply.raw)
            return False
        lines = ["HTTP/1.1 %d %s" % (reply.status, reply.reason or REASONS.get(reply.status, "Status"))]
        lines += ["%s: %s" % pair for pair in reply.headers]
        if reply.chunked:
            lines.append("Transfer-Encoding: chunked")
        elif reply.length == "auto":
            lines.append("Content-Length: %d" % len(reply.body))
        elif reply.length is not None:
            lines.append("Content-Length: %s" % reply.length)
        closing = reply.close or (reply.length is None and not reply.chunked) or reply.cut is not None
        if closing:
            lines.append("Connection: close")
        if not self._send(sock, ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1"), reply.trickle_head, owner):
            return False

        body = reply.body if reply.cut is None else reply.body[:reply.cut]
        if reply.chunked:
            body = b"%x\r\n%s\r\n0\r\n\r\n" % (len(body), body) if body else b"0\r\n\r\n"
        if reply.pause is not None:
            sock.sendall(body[:reply.pause])
            owner.released.wait()
            body = body[reply.pause:]
        if reply.trickle:
            for start in range(0, len(body), reply.trickle):
                sock.sendall(body[start:start + reply.trickle])
                if owner.released.wait(TRICKLE_PAUSE):
                    return False
            body = b""
        if not self._send(sock, body + reply.extra, reply.trickle_body, owner):
            return False
        if reply.stall:
            owner.released.wait()
            return False
        return not closing


    @staticmethod
    def _send(sock, data, pause, owner):
        """Sends data whole, or a byte at a time with pauses; False when the
        server stopped meanwhile."""
        if pause is None:
            sock.sendall(data)
            return True
        for index in range(len(data)):
            if index and owner.released.wait(pause):
                return False
            sock.sendall(data[index:index + 1])
        return True


class _Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


class ScriptedHttpServer:
    """The server on its own thread, listening at address:port."""

    def __init__(self, address, routes=None, port=80, log=None):
        self.routes = dict(routes or {})
        self.requests = []
        self.released = threading.Event()
        self._lock = threading.Lock()
        self._uses = {}
        self._log = log
        self._server = _Server((address, port), _Handler)
        self._server.owner = self
        self.address = address
        self._thread = threading.Thread(target=self._server.serve_forever, args=(0.05,), daemon=True)
        self._thread.start()

    def route(self, request):
        with self._lock:
            answers = self.routes.get(request.path)
            if answers is None:
                return Reply(404, body=b"not here")
            if not isinstance(answers, list):
                return answers
            used = self._uses.get(request.path, 0)
            self._uses[request.path] = used + 1
            return answers[min(used, len(answers) - 1)]

    def record(self, request):
        with self._lock:
            self.requests.append(request)
            if self._log:
                with open(self._log, "a", encoding="utf-8") as log:
                    log.write(json.dumps(request.as_json()) + "\n")

    def requests_for(self, path):
        with self._lock:
            return [r for r in self.requests if r.path == path]

    def stop(self):
        self.released.set()
        self._server.shutdown()
        self._server.server_close()
        self._thread.join()


def _reply_from_json(answer):
    if "file" in answer:
        with open(answer["file"], "rb") as f:
            return FileRoute(f.read())
    fields = dict(answer)
    for key in ("body", "extra", "raw"):
        if isinstance(fields.get(key), str):
            fields[key] = fields[key].encode("utf-8")
    return Reply(**fields)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--bind", required=True, help="address to listen at")
    parser.add_argument("--port", type=int, default=80)
    parser.add_argument("--routes", help="JSON file mapping paths to answers")
    parser.add_argument("--log", help="JSON-lines file every request is appended to")
    args = parser.parse_args()
    routes = {}
    if args.routes:
        with open(args.routes, encoding="utf-8") as f:
            for path, answers in json.load(f).items():
                routes[path] = ([_reply_from_json(a) for a in answers] if isinstance(answers, list)
                                else _reply_from_json(answers))
    server = ScriptedHttpServer(args.bind, routes, args.port, args.log)
    print("listening at %s:%d" % (args.bind, args.port), flush=True)
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        server.stop()


if __name__ == "__main__":
    main()
