#!/usr/bin/env python3
"""A network camera for tests, on the loopback interface.

Serves the JPEG files of a folder (frame*.jpg, in name order, over and over):
  /video.mjpg    an MJPEG stream (multipart/x-mixed-replace), --fps frames a second
  /snapshot.jpg  the next picture, one per request
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
    counter = {"next": 0}
    lock = threading.Lock()

    def next_frame():
        with lock:
            frame = frames[counter["next"] % len(frames)]
            counter["next"] += 1
            return frame

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

        def do_GET(self):
            self.log_request_line()
            if not self.allowed():
                return
            if self.path.startswith("/snapshot.jpg"):
                frame = next_frame()
                self.send_response(200)
                self.send_header("Content-Type", "image/jpeg")
                self.send_header("Content-Length", str(len(frame)))
                self.end_headers()
                self.wfile.write(frame)
            elif self.path.startswith("/video.mjpg"):
                self.send_response(200)
                self.send_header("Content-Type", "multipart/x-mixed-replace; boundary=" + BOUNDARY.decode())
                self.send_header("Cache-Control", "no-cache")
                self.send_header("Connection", "close")
                self.end_headers()
                self.close_connection = True
                try:
                    while True:
                        frame = next_frame()
                        self.wfile.write(b"--" + BOUNDARY + b"\r\nContent-Type: image/jpeg\r\nContent-Length: "
                                         + str(len(frame)).encode() + b"\r\n\r\n" + frame + b"\r\n")
                        self.wfile.flush()
                        time.sleep(1.0 / options.fps)
                except (BrokenPipeError, ConnectionResetError):
                    pass
            else:
                self.send_response(404)
                self.send_header("Content-Length", "0")
                self.end_headers()

    class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
        daemon_threads = True
        allow_reuse_address = True

    server = Server((options.host, options.port), Handler)
    print("PORT", server.server_address[1], flush=True)
    server.serve_forever()


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
