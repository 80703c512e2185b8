"""State the server's worker processes share: the per-address rate limit,
the test answers with their counts, and when old reports were last purged.
Everything lives in memory mapped before the workers fork."""
import hashlib
import ipaddress
import mmap
import multiprocessing
import secrets
import struct
import time

from report_server.forms import PAGES

BUCKET = struct.Struct("dd")  # tokens, time of the last refill
# Addresses share a bucket only when their keyed hashes collide.
BUCKETS = 1 << 16


def address_key(address):
    """IPv4 addresses one by one; IPv6 by /64, the block one subscriber gets."""
    try:
        parsed = ipaddress.ip_address(address)
    except ValueError:
        return address
    if parsed.version == 6:
        return str(ipaddress.ip_network((parsed, 64), strict=False))
    return str(parsed)


class RateLimiter:
    """A token bucket per client address: burst reports at once, then
    per_minute reports a minute. per_minute 0 turns it off."""

    def __init__(self, per_minute, burst):
        self.rate = per_minute / 60.0
        self.burst = float(burst)
        self.key = secrets.token_bytes(16)
        self.buckets = mmap.mmap(-1, BUCKETS * BUCKET.size)
        self.lock = multiprocessing.Lock()

    def allow(self, address):
        if self.rate <= 0:
            return True
        digest = hashlib.blake2b(address_key(address).encode(), key=self.key, digest_size=8).digest()
        offset = int.from_bytes(digest, "little") % BUCKETS * BUCKET.size
        now = time.monotonic()
        with self.lock:
            tokens, last = BUCKET.unpack_from(self.buckets, offset)
            tokens = self.burst if last == 0 else min(self.burst, tokens + (now - last) * self.rate)
            allowed = tokens >= 1
            BUCKET.pack_into(self.buckets, offset, tokens - 1 if allowed else tokens, now)
        return allowed


class Answers:
    """The status each report is answered with: one default, overridden per
    page, optionally for the first few reports of that page only."""

    def __init__(self, default, rules):
        self.default = default
        self.pages = sorted(set(PAGES.values()))
        self.status = multiprocessing.Array("i", [default] * len(self.pages))
        # -1: the page's status holds for every report.
        self.remaining = multiprocessing.Array("i", [-1] * len(self.pages), lock=False)
        for rule in rules:
            page, _, answer = rule.partition("=")
            status, _, count = answer.partition(":")
            if page not in self.pages or not status.isascii() or not status.isdigit() or \
                    (count and not (count.isascii() and count.isdigit())):
                raise ValueError("bad --fail rule: %r" % rule)
            self.status[self.pages.index(page)] = int(status)
            self.remaining[self.pages.index(page)] = int(count) if count else -1

    def next_status(self, page):
        index = self.pages.index(page)
        with self.status.get_lock():
            remaining = self.remaining[index]
            if remaining == 0:
                return self.default
            if remaining > 0:
                self.remaining[index] = remaining - 1
            return self.status[index]


class Schedule:
    """Runs a task at most once per period across all workers."""

    def __init__(self, period):
        self.period = period
        self.last = multiprocessing.Value("d", 0.0)

    def due(self):
        now = time.monotonic()
        with self.last.get_lock():
            if self.last.value and now - self.last.value < self.period:
                return False
            self.last.value = now
            return True
