"""The CGI behind PUTs into the WebDAV test server's folders "slow" and "short", and behind PROPFINDs
of "hostile" (Apache's configuration hands those requests here; every other request stays with
mod_dav). WebDavServer copies it into its own folder with the interpreter's line on top.

  slow/NAME   stores the body like mod_dav, and answers VELMORA_SLOW_MS milliseconds late
  short/NAME  stores all but the body's last byte, yet answers as if all had been stored
  hostile/huge/    a listing of 24 MiB of files, sent as it is made
  hostile/laughs/  a listing whose entities would grow it a billionfold
  hostile/junk/    207 Multi-Status with bytes that are no XML

VELMORA_DAV_HOME is the folder the server's URL path /dav/ maps to; PATH_INFO the path below it.
"""

import ctypes
import os
import sys
import time

# Goes with the Apache worker that started it, even while it sleeps.
ctypes.CDLL(None).prctl(1, 9)  # PR_SET_PDEATHSIG, SIGKILL


def answer(status, text=""):
    sys.stdout.write("Status: %s\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n\r\n%s"
                     % (status, len(text), text))
    sys.stdout.flush()


def hostile_listing(relative):
    kind = relative.split("/")[1] if "/" in relative else ""
    out = sys.stdout.buffer
    if kind == "huge":
        out.write(b"Status: 207 Multi-Status\r\nContent-Type: application/xml; charset=utf-8\r\n\r\n")
        out.write(b'<?xml version="1.0" encoding="utf-8"?>\n<D:multistatus xmlns:D="DAV:">\n')
        entry = (b"<D:response><D:href>/dav/hostile/huge/%08d.jpg</D:href><D:propstat><D:prop>"
                 b"<D:resourcetype/></D:prop><D:status>HTTP/1.1 200 OK</D:status></D:propstat>"
                 b"</D:response>\n")
        written = 0
        number = 0
        while written < 24 * 1024 * 1024:
            block = b"".join(entry % n for n in range(number, number + 1000))
            number += 1000
            try:
                out.write(block)
                out.flush()
            except (BrokenPipeError, ConnectionResetError):
                return
            written += len(block)
        out.write(b"</D:multistatus>\n")
    elif kind == "laughs":
        body = b'<?xml version="1.0"?>\n<!DOCTYPE m [<!ENTITY a "aaaaaaaaaa">'
        for previous, name in zip("abcdefghi", "bcdefghij"):
            body += b'<!ENTITY %s "%s">' % (name.encode(), ("&%s;" % previous).encode() * 10)
        body += b']>\n<D:multistatus xmlns:D="DAV:"><D:response><D:href>&j;</D:href></D:response></D:multistatus>\n'
        out.write(b"Status: 207 Multi-Status\r\nContent-Type: application/xml\r\nContent-Length: %d\r\n\r\n"
                  % len(body) + body)
    else:
        body = bytes(range(256)) * 256
        out.write(b"Status: 207 Multi-Status\r\nContent-Type: application/xml\r\nContent-Length: %d\r\n\r\n"
                  % len(body) + body)
    out.flush()


def main():
    home = os.path.realpath(os.environ["VELMORA_DAV_HOME"])
    relative = os.environ.get("PATH_INFO", "").lstrip("/")
    if os.environ.get("REQUEST_METHOD") == "PROPFIND":
        length = os.environ.get("CONTENT_LENGTH")
        if length:
            sys.stdin.buffer.read(int(length))
        hostile_listing(relative)
        return
    target = os.path.realpath(os.path.join(home, relative))
    if not target.startswith(home + os.sep) or relative.endswith("/"):
        answer("403 Forbidden", "outside the served folder\n")
        return
    length = os.environ.get("CONTENT_LENGTH")
    body = sys.stdin.buffer.read(int(length)) if length else sys.stdin.buffer.read()
    if relative.startswith("slow/"):
        time.sleep(int(os.environ.get("VELMORA_SLOW_MS", "20000")) / 1000.0)
    elif relative.startswith("short/"):
        body = body[:-1]
    if not os.path.isdir(os.path.dirname(target)):
        answer("409 Conflict", "the parent folder does not exist\n")
        return
    existed = os.path.exists(target)
    with open(target, "wb") as stored:
        stored.write(body)
    # As mod_dav answers: 204 when a resource was replaced, 201 when it was made.
    answer("204 No Content" if existed else "201 Created")


main()
