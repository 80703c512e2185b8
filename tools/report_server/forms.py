"""What a launcher's post says: its page, its length, its form fields, and
whether it is a report of ours at all."""
import re
import urllib.parse

PAGES = {
    "reports-configs.asp": "configs",
    "reports-errors.asp": "errors",
    "reports-events.asp": "events",
}
for _name, _kind in list(PAGES.items()):
    PAGES["launcher/" + _name] = _kind

# int() takes any Unicode digit ("²", "١"); a length or an event is ASCII.
ASCII_NUMBER = re.compile(r"[0-9]{1,10}", re.ASCII)
ASCII_SIGNED = re.compile(r"-?[0-9]{1,10}", re.ASCII)
INT32 = range(-(1 << 31), 1 << 31)
# A machine identifier is a GUID in braces, 38 characters.
MAX_GUID_CHARS = 100


class BadReport(Exception):
    """A request that is no report of ours: answered with status, never stored."""

    def __init__(self, status, text):
        super().__init__(text)
        self.status = status
        self.text = text


def page_of(path):
    """The report page a request path names, or None."""
    return PAGES.get(path.lstrip("/"))


def announced_length(content_length, transfer_encoding, limit):
    """The body length a request announces, refused unless it is plain ASCII
    digits within limit; a body without a length (chunked) is refused too."""
    if transfer_encoding:
        raise BadReport(400, "bad framing\n") if content_length else BadReport(411, "length required\n")
    if content_length is None or content_length == "":
        raise BadReport(411, "length required\n")
    if not ASCII_NUMBER.fullmatch(content_length):
        raise BadReport(400, "bad length\n")
    length = int(content_length)
    if length > limit:
        raise BadReport(413, "too large\n")
    return length


def decode_fields(body):
    """The form fields of a body in their order, values percent-decoded and read as UTF-8.

    "+" stays a plus sign: the launcher encodes blanks as %20 and a literal plus
    as %2B. Undecodable bytes become U+FFFD; a "%" without two hex digits stays.
    """
    fields = []
    for part in body.split(b"&"):
        if not part:
            continue
        name, _, value = part.partition(b"=")
        fields.append((urllib.parse.unquote_to_bytes(name).decode("utf-8", "replace"),
                       urllib.parse.unquote_to_bytes(value).decode("utf-8", "replace")))
    return fields


def machine_and_event(page, body):
    """The report's machine identifier and event number (None when absent);
    an event that is no signed 32-bit number, or an event report without
    one, is refused."""
    first = {}
    for name, value in decode_fields(body):
        first.setdefault(name, value)
    guid = first.get("guid")
    if guid is not None and len(guid) > MAX_GUID_CHARS:
        raise BadReport(400, "bad machine identifier\n")
    event = first.get("event")
    if event is None:
        if page == "events":
            raise BadReport(400, "bad event\n")
        return guid, None
    if not ASCII_SIGNED.fullmatch(event) or int(event) not in INT32:
        raise BadReport(400, "bad event\n")
    return guid, int(event)
