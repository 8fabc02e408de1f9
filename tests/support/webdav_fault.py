"""The CGI behind PUTs into the WebDAV test server's folders "slow" and "short" (Apache's configuration
hands those PUTs here; every other method stays with mod_dav). WebDavServer copies it into its own
folder with the interpreter's line on top.

  slow/NAME   stores the body like mod_dav, and answers VELMORA_SLOW_MS milliseconds late
  short/NAME  stores all but the body's last byte, yet answers as if all had been stored

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


def main():
    home = os.path.realpath(os.environ["VELMORA_DAV_HOME"])
    relative = os.environ.get("PATH_INFO", "").lstrip("/")
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
