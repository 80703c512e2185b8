#!/usr/bin/python3
"""A mirror for chaos runs of the launcher: it serves files as a static
server does (ranges included), but at random cuts a body, trickles it,
answers 404 or 500, a login page in place of the file, a body shorter than
the file under a length that matches it, or drops the connection unanswered.

As a module: ChaosMirror(address, rate, seed) is a ScriptedHttpServer whose
serve(files) replaces what it serves ({path: bytes}); rate is the share of
answers that go wrong and may be changed at any time."""
import random
import threading

from test_http_server import FileRoute, Reply, ScriptedHttpServer

LOGIN_PAGE = (b"<!DOCTYPE html>\r\n<html>\r\n<body>\r\n<form action=\"http://portal.example/login\">\r\n"
              b"</form>\r\n</body>\r\n</html>\r\n")
FAULTS = ("cut", "trickle", "not found", "server error", "page", "short", "reset")
TRICKLE_BYTES = 2048


class ChaosRoute:
    def __init__(self, data, mirror):
        self.file = FileRoute(data)
        self.mirror = mirror

    def reply(self, request):
        answer = self.file.reply(request)
        fault, point = self.mirror.draw()
        body = answer.body
        if fault is None:
            return answer
        if fault == "cut":
            answer.cut = int(len(body) * point)
            return answer
        if fault == "trickle":
            answer.trickle = TRICKLE_BYTES
            return answer
        if fault == "not found":
            return Reply(404, body=b"not here")
        if fault == "server error":
            return Reply(500, body=b"busy")
        if fault == "page":
            return Reply(headers=[("Content-Type", "text/html")], body=LOGIN_PAGE)
        if fault == "short":
            return Reply(answer.status, headers=answer.headers, body=body[:int(len(body) * point)])
        return Reply(raw=b"")


class ChaosMirror(ScriptedHttpServer):
    def __init__(self, address, rate, seed):
        super().__init__(address)
        self.rate = rate
        self.faults = []
        self._random = random.Random(seed)
        self._draws = threading.Lock()

    def draw(self):
        """The fault of the next answer (None for a good one) and a point in [0, 1)."""
        with self._draws:
            fault = self._random.choice(FAULTS) if self._random.random() < self.rate else None
            if fault:
                self.faults.append(fault)
            return fault, self._random.random()

    def serve(self, files):
        self.routes = {path: ChaosRoute(data, self) for path, data in files.items()}
