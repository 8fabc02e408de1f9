#!/usr/bin/env python3
"""A network camera for tests, on the loopback interface.

Serves the JPEG files of a folder (frame*.jpg, in name order, over and over):
  /video.mjpg    an MJPEG stream (multipart/x-mixed-replace), --fps frames a second
  /snapshot.jpg  the next picture, one per request
and cameras that fail, each as a stream (.mjpg) and as a snapshot (.jpg):
  /flap          by turns: pictures (a stream sends --flap-frames and ends), HTTP 503 and a
                 connection closed without an answer; a snapshot gives a picture at its first
                 turn only (a camera that never comes back)
  /status/<n>    HTTP status n with a page of text
  /login         a login page (text/html) with status 200
  /giant         a small JPEG whose header states 60000 x 60000
  /huge-length   a stream part that states "Content-Length: 4000000000", then endless bytes
  /huge-part     a stream part of 200 MB without a length; as a snapshot a 40 MB picture
                 (/huge-part-unsized.jpg: the same without Content-Length)
With --user and --password every request needs them (HTTP basic authentication). With --mute the
server accepts connections and never answers. Prints "PORT <n>" once it listens, then serves
until it is killed.
"""
import argparse
import base64
import glob
import http.server
import os
import socket
import socketserver
import sys
import threading
import time

BOUNDARY = b"velmoraframe"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--frames", default="")
    parser.add_argument("--fps", type=float, default=10.0)
    parser.add_argument("--user", default="")
    parser.add_argument("--password", default="")
    parser.add_argument("--mute", action="store_true")
    parser.add_argument("--request-log", default="")
    parser.add_argument("--flap-frames", type=int, default=2)
    options = parser.parse_args()

    if options.mute:
        mute(options)
        return

    frames = [open(path, "rb").read() for path in sorted(glob.glob(os.path.join(options.frames, "frame*.jpg")))]
    if not frames:
        sys.exit("no frames in " + options.frames)
    expected = ""
    if options.user or options.password:
        expected = "Basic " + base64.b64encode(f"{options.user}:{options.password}".encode()).decode()
    counter = {"next": 0, "flap": 0}
    lock = threading.Lock()
    giant = giant_jpeg(frames[0])

    def next_frame():
        with lock:
            frame = frames[counter["next"] % len(frames)]
            counter["next"] += 1
            return frame

    def next_flap():
        with lock:
            turn = counter["flap"]
            counter["flap"] += 1
            return turn

    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, fmt, *args):
            pass

        def log_request_line(self):
            if options.request_log:
                with open(options.request_log, "a") as log:
                    log.write("%s %s\n" % (self.path, self.headers.get("Authorization", "-")))

        def allowed(self):
            if not expected or self.headers.get("Authorization") == expected:
                return True
            self.send_response(401)
            self.send_header("WWW-Authenticate", 'Basic realm="camera"')
            self.send_header("Content-Length", "0")
            self.end_headers()
            return False

        def send_body(self, status, content_type, body, length=True):
            self.send_response(status)
            self.send_header("Content-Type", content_type)
            if length:
                self.send_header("Content-Length", str(len(body)))
            else:
                self.send_header("Connection", "close")
                self.close_connection = True
            self.end_headers()
            self.wfile.write(body)

        def send_page(self, status):
            self.send_body(status, "text/html; charset=utf-8",
                           b"<html><body><form>User <input name=u> Password <input name=p type=password>"
                           b"</form></body></html>\n")

        def start_stream(self):
            self.send_response(200)
            self.send_header("Content-Type", "multipart/x-mixed-replace; boundary=" + BOUNDARY.decode())
            self.send_header("Cache-Control", "no-cache")
            self.send_header("Connection", "close")
            self.end_headers()
            self.close_connection = True

        def stream(self, count=None, frame_source=None):
            self.start_stream()
            sent = 0
            while count is None or sent < count:
                frame = frame_source() if frame_source else next_frame()
                self.wfile.write(b"--" + BOUNDARY + b"\r\nContent-Type: image/jpeg\r\nContent-Length: "
                                 + str(len(frame)).encode() + b"\r\n\r\n" + frame + b"\r\n")
                self.wfile.flush()
                sent += 1
                time.sleep(1.0 / options.fps)

        def endless(self, header, total):
            # Sends header, then filler until total bytes went out or the camera's client leaves.
            self.start_stream()
            self.wfile.write(header)
            block = b"\xab" * (1 << 20)
            started = time.monotonic()
            while total > 0 and time.monotonic() - started < 60:
                self.wfile.write(block[:total])
                total -= len(block)

        def do_GET(self):
            self.log_request_line()
            if not self.allowed():
                return
            path = self.path.split("?")[0]
            name, _, ending = path.rpartition(".")
            stream = ending == "mjpg"
            try:
                if path == "/snapshot.jpg":
                    self.send_body(200, "image/jpeg", next_frame())
                elif path == "/video.mjpg":
                    self.stream()
                elif name == "/flap":
                    turn = next_flap()
                    if turn == 0 or (stream and turn % 2 == 0):
                        if stream:
                            self.stream(options.flap_frames)
                        else:
                            self.send_body(200, "image/jpeg", next_frame())
                    elif turn % 4 == 1 or (not stream and turn % 2 == 1):
                        self.send_page(503)
                    else:
                        self.close_connection = True
                elif name.startswith("/status/"):
                    self.send_page(int(name[len("/status/"):]))
                elif name == "/login":
                    self.send_page(200)
                elif name == "/giant":
                    if stream:
                        self.stream(frame_source=lambda: giant)
                    else:
                        self.send_body(200, "image/jpeg", giant)
                elif name == "/huge-length" and stream:
                    self.endless(b"--" + BOUNDARY + b"\r\nContent-Type: image/jpeg\r\n"
                                 b"Content-Length: 4000000000\r\n\r\n\xff\xd8", 4000000000)
                elif name == "/huge-part" and stream:
                    self.endless(b"--" + BOUNDARY + b"\r\nContent-Type: image/jpeg\r\n\r\n\xff\xd8",
                                 200 << 20)
                elif name in ("/huge-part", "/huge-part-unsized"):
                    self.send_body(200, "image/jpeg", b"\xff\xd8" + b"\xab" * (40 << 20),
                                   length=name == "/huge-part")
                else:
                    self.send_body(404, "text/plain", b"not found\n")
            except (BrokenPipeError, ConnectionResetError):
                pass

    class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
        daemon_threads = True
        allow_reuse_address = True

    server = Server((options.host, options.port), Handler)
    print("PORT", server.server_address[1], flush=True)
    server.serve_forever()


def giant_jpeg(frame):
    """The picture with the size in its frame header changed to 60000 x 60000."""
    at = 2
    while at + 4 <= len(frame):
        marker = frame[at + 1]
        length = frame[at + 2] << 8 | frame[at + 3]
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            size = (60000).to_bytes(2, "big")
            return frame[:at + 5] + size + size + frame[at + 9:]
        at += 2 + length
    sys.exit("no frame header")


def mute(options):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((options.host, options.port))
    listener.listen(16)
    print("PORT", listener.getsockname()[1], flush=True)
    held = []
    while True:
        connection, _ = listener.accept()
        held.append(connection)  # kept open, never read, never answered


if __name__ == "__main__":
    main()
