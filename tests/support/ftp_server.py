"""A local FTP server for the tests (pyftpdlib).

Binds to port 0 on the given address, prints "PORT <n>" once it listens and serves until killed.
User "cam" / "secret" with the home folder given; its subfolder "ro" is read-only.

  --data both|active|passive   which data connection modes the server accepts
  --login-dir DIR              folder (below home) the session starts in after login
  --command-log FILE           every command line received is appended to FILE
  --read-limit N               data channel reads at most N bytes per second
  --stall-after-upload         never sends the final reply of a STOR
  --error-lines N              error replies (4xx/5xx) come as N-line replies
  --mute                       accepts TCP connections and never says a word
  --tls CERTFILE               explicit TLS required on control and data (key in the same file)
  --truncate-stored            drops the last byte of every stored file
  --no-size                    refuses the SIZE command as unknown
  --refuse-rename              refuses RNTO
  --refuse-rename-over         refuses RNTO onto a name that exists (as some servers do)
  --stall-at CMD               takes the command CMD (STOR, QUIT, ...) and never answers it
  --no-mlst                    refuses MLST as unknown
  --no-list                    refuses LIST as unknown
  --keep-bytes N               every stored file keeps only its first N bytes (the reply is 226)
  --stor-reply TEXT            every STOR is answered with TEXT (Python escapes: \\r\\n, \\x1b, \\u0085)
  --closed-passive             PASV and EPSV name a port where nobody listens
  --slow-stor MS               the final reply of every STOR comes MS milliseconds late
  --no-data-connection         agrees to active mode (PORT/EPRT) and to STOR, but never connects
                               back for the data
  --slow-greeting MS           greets each connection MS milliseconds late
  --trickle MS                 reads the data of a transfer 1 KB at a time, MS milliseconds apart
  --grow-stored N              every stored file gets N bytes more than were sent (the reply is 226)
  --refuse-dele                refuses every DELE
With --mute and a command log, every accepted connection is logged as "CONNECT".
"""

import argparse
import os
import socket
import sys
import threading


def serve_mute(host, command_log):
    family = socket.AF_INET6 if ":" in host else socket.AF_INET
    listener = socket.socket(family, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((host, 0))
    listener.listen(16)
    print("PORT %d" % listener.getsockname()[1], flush=True)
    held = []
    while True:
        conn, _ = listener.accept()
        held.append(conn)  # kept open, never written to
        if command_log:
            with open(command_log, "a", encoding="utf-8") as f:
                f.write("CONNECT\n")


def serve_ftp(args):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import (ActiveDTP, DTPHandler, FTPHandler, ThrottledDTPHandler, TLS_DTPHandler,
                                    TLS_FTPHandler)
    from pyftpdlib.servers import FTPServer

    home = os.path.realpath(args.home)
    os.makedirs(os.path.join(home, "ro"), exist_ok=True)
    authorizer = DummyAuthorizer()
    authorizer.add_user("cam", "secret", home, perm="elradfmwMT")
    authorizer.override_perm("cam", os.path.join(home, "ro"), perm="elr", recursive=True)

    log_lock = threading.Lock()

    base = TLS_FTPHandler if args.tls else FTPHandler

    class TlsDataHandler(TLS_DTPHandler):
        # libcurl starts the data connection's TLS handshake before it sends STOR; pyftpdlib
        # would take the early handshake bytes for a client that went away and close the channel.
        def readable(self):
            if self._ssl_accepting:
                return True
            return super().readable()

    class HandedOverActiveDTP(ActiveDTP):
        # pyftpdlib (1.5.7) keeps the connector of an active-mode data connection after handing its
        # socket to the data handler, and closes it again when the session ends: by then the
        # system may have given that file number to another client's control connection, which
        # the closing connector takes off the server's poll list, and that client is never
        # answered again. Once handed over, the connector has nothing left to close.
        def handle_connect(self):
            super().handle_connect()
            self._closed = True

    class Handler(base):
        active_dtp = HandedOverActiveDTP

        def pre_process_command(self, line, cmd, arg):
            if args.command_log:
                with log_lock, open(args.command_log, "a", encoding="utf-8", errors="replace") as f:
                    f.write(line + "\n")
            if args.no_size and cmd == "SIZE":
                self.respond("500 Command \"SIZE\" not understood.")
                return
            if args.refuse_rename and cmd == "RNTO":
                self.respond("550 Renaming is not allowed here.")
                return
            if args.refuse_rename_over and cmd == "RNTO" and os.path.exists(self.fs.ftp2fs(arg)):
                self.respond("553 Requested action not taken: the file exists.")
                return
            if args.refuse_dele and cmd == "DELE":
                self.respond("550 Removing is not allowed here.")
                return
            if (args.no_mlst and cmd == "MLST") or (args.no_list and cmd == "LIST"):
                self.respond("500 Command \"%s\" not understood." % cmd)
                return
            if args.stor_reply and cmd == "STOR":
                self.respond(args.stor_reply.encode("ascii").decode("unicode_escape"))
                return
            if args.closed_passive and cmd in ("PASV", "EPSV"):
                probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                probe.bind(("127.0.0.1", 0))
                port = probe.getsockname()[1]
                probe.close()  # nobody listens there any more
                if cmd == "EPSV":
                    self.respond("229 Entering extended passive mode (|||%d|)." % port)
                else:
                    self.respond("227 Entering passive mode (127,0,0,1,%d,%d)." % (port // 256, port % 256))
                return
            if args.refuse_list and cmd in ("LIST", "NLST", "MLSD"):
                self.respond("550 Listing is not allowed here.")
                return
            if args.stall_at and cmd == args.stall_at.upper():
                return  # taken, never answered
            if args.no_data_connection and cmd in ("PORT", "EPRT"):
                self.respond("200 Active data connection established.")
                return
            if args.no_data_connection and cmd == "STOR":
                self.respond("150 File status okay. About to open data connection.")
                return
            if args.data == "active" and cmd in ("PASV", "EPSV"):
                self.respond("502 Passive mode disabled.")
                return
            if args.data == "passive" and cmd in ("PORT", "EPRT"):
                self.respond("502 Active mode disabled.")
                return
            super().pre_process_command(line, cmd, arg)

        def handle(self):
            if args.slow_greeting <= 0:
                super().handle()
                return
            def greet():
                if not self._closed and not self._closing:
                    super(Handler, self).handle()
            self.ioloop.call_later(args.slow_greeting / 1000.0, greet)

        def on_file_received(self, file):
            if args.grow_stored > 0:
                with open(file, "ab") as f:
                    f.write(b"\0" * args.grow_stored)
            if args.keep_bytes > 0:
                with open(file, "r+b") as f:
                    f.truncate(args.keep_bytes)
            if args.truncate_stored:
                size = os.path.getsize(file)
                with open(file, "r+b") as f:
                    f.truncate(max(0, size - 1))

        def on_login(self, username):
            if args.login_dir:
                self.fs.cwd = "/" + args.login_dir.strip("/")

        def respond(self, resp, logfun=None):
            if args.stall_after_upload and resp.startswith("226"):
                return
            if args.slow_stor > 0 and resp.startswith("226") and not getattr(self, "_late", False):
                def late():
                    self._late = True
                    try:
                        self.respond(resp)
                    finally:
                        self._late = False
                self.ioloop.call_later(args.slow_stor / 1000.0, late)
                return
            if args.error_lines > 1 and resp[:1] in ("4", "5"):
                code = resp[:3]
                extra = "".join("%s-Line %d of a long answer from the test server.\r\n" % (code, n)
                                for n in range(1, args.error_lines))
                resp = extra + resp
            if logfun is None:
                super().respond(resp)
            else:
                super().respond(resp, logfun)

    Handler.authorizer = authorizer
    if args.tls:
        Handler.certfile = args.tls
        Handler.tls_control_required = True
        Handler.tls_data_required = True
        Handler.dtp_handler = TlsDataHandler
    Handler.auth_failed_timeout = 0.1  # a refused login is answered at once
    Handler.banner = "Velmora test server ready."
    Handler.permit_foreign_addresses = False
    if args.read_limit > 0:
        class Throttled(ThrottledDTPHandler):
            read_limit = args.read_limit
        Handler.dtp_handler = Throttled
    if args.trickle > 0:
        class Trickle(DTPHandler):
            # A steady slow writer, unlike the throttled handler, which takes a whole second's
            # worth at once: a small file is half written for most of its transfer.
            ac_in_buffer_size = 1024

            def use_sendfile(self):
                return False

            def recv(self, buffer_size):
                chunk = super().recv(buffer_size)
                if chunk and not self._closed:
                    def resume():
                        self._pause = None
                        if not self._closed:
                            self.add_channel(events=self.ioloop.READ)
                    self.del_channel()
                    self._pause = self.ioloop.call_later(args.trickle / 1000.0, resume,
                                                         _errback=self.handle_error)
                return chunk

            def close(self):
                pause = getattr(self, "_pause", None)
                if pause is not None and not pause.cancelled:
                    pause.cancel()
                super().close()
        Handler.dtp_handler = Trickle

    server = FTPServer((args.host, 0), Handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--home", default=".")
    parser.add_argument("--data", choices=("both", "active", "passive"), default="both")
    parser.add_argument("--login-dir", default="")
    parser.add_argument("--command-log", default="")
    parser.add_argument("--read-limit", type=int, default=0)
    parser.add_argument("--stall-after-upload", action="store_true")
    parser.add_argument("--error-lines", type=int, default=1)
    parser.add_argument("--mute", action="store_true")
    parser.add_argument("--tls", default="")
    parser.add_argument("--truncate-stored", action="store_true")
    parser.add_argument("--no-size", action="store_true")
    parser.add_argument("--refuse-rename", action="store_true")
    parser.add_argument("--refuse-rename-over", action="store_true")
    parser.add_argument("--refuse-list", action="store_true")
    parser.add_argument("--stall-at", default="")
    parser.add_argument("--no-data-connection", action="store_true")
    parser.add_argument("--slow-stor", type=int, default=0)
    parser.add_argument("--no-mlst", action="store_true")
    parser.add_argument("--no-list", action="store_true")
    parser.add_argument("--keep-bytes", type=int, default=0)
    parser.add_argument("--stor-reply", default="")
    parser.add_argument("--closed-passive", action="store_true")
    parser.add_argument("--slow-greeting", type=int, default=0)
    parser.add_argument("--trickle", type=int, default=0)
    parser.add_argument("--grow-stored", type=int, default=0)
    parser.add_argument("--refuse-dele", action="store_true")
    args = parser.parse_args()

    import logging
    logging.basicConfig(stream=sys.stderr, level=logging.WARNING)
    if args.mute:
        serve_mute(args.host, args.command_log)
    else:
        serve_ftp(args)


if __name__ == "__main__":
    main()
