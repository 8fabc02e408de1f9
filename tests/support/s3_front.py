"""The S3 endpoint of the tests: checks every request's Signature V4 as S3 does, with botocore's own
signer, then hands the request to s3rver (the object store, which takes any V4 signature for a key it
knows) and relays its answer.

Binds to port 0 on 127.0.0.1, prints "PORT <n>" once it listens and serves until killed.

  --upstream PORT      s3rver's port on 127.0.0.1
  --access-key KEY     the one account's access key
  --secret-key SECRET  and its secret
  --region REGION      the region a signature must name
  --tls PEMFILE        HTTPS with the certificate and key in PEMFILE
  --slow-ms MS         how late requests for keys below "slow/" are answered
  --idle-seconds N     an idle kept connection is closed after N seconds
  --request-log FILE   one line per request: method, target, status, the number of requests before
                       it on its connection, then name=value for the headers the tests look at
                       and error=<S3 error code> for what this front refused (tab-separated)

The signature is recomputed from the request as received: the method, the path as sent, the query
in S3's canonical form, the headers the client listed as signed, and the SHA-256 of the body that
actually came (so a payload hash that does not match the body makes the signature not match).
"UNSIGNED-PAYLOAD" is taken as S3 takes it. An unsigned request gets 403 SignatureDoesNotMatch too.

Keys with these prefixes make the store misbehave the way real ones do:
  ro/      PUT and DELETE are refused (403 AccessDenied)
  full/    PUT is refused with 507 Insufficient Storage (as MinIO does when its disks are full)
  slow/    every answer comes --slow-ms late
  short/   a PUT stores all but the body's last byte, yet answers 200 with the ETag of the whole body
  altered/ a PUT stores the body with its first byte changed (same size), and the store's ETag of it

Addressing: path-style (/bucket/key) and virtual-hosted (bucket.localhost:port/key; curl and libcurl
resolve *.localhost to the loopback address, so no name service is needed).
"""

import argparse
import datetime
import hashlib
import hmac
import http.client
import http.server
import ipaddress
import re
import socketserver
import ssl
import sys
import threading
import time
import urllib.parse
import uuid

from botocore.auth import S3SigV4Auth
from botocore.awsrequest import AWSRequest
from botocore.compat import HTTPHeaders
from botocore.credentials import Credentials

AUTHORIZATION = re.compile(
    r"AWS4-HMAC-SHA256 Credential=(?P<key>[^/,\s]+)/(?P<date>\d{8})/(?P<region>[^/,\s]+)/(?P<service>[^/,\s]+)"
    r"/aws4_request,\s*SignedHeaders=(?P<signed>[a-z0-9;._-]+),\s*Signature=(?P<signature>[0-9a-f]{64})")
LOGGED_HEADERS = ("Content-Type", "Cache-Control", "Content-Length", "x-amz-acl", "x-amz-content-sha256")
HOP_BY_HOP = {"connection", "keep-alive", "transfer-encoding", "content-length", "date", "server",
              "proxy-connection", "te", "trailer", "upgrade", "expect"}
MAX_BODY = 64 * 1024 * 1024
MAX_SKEW = datetime.timedelta(minutes=15)


class Refusal(Exception):
    def __init__(self, status, code, message, **details):
        super().__init__(message)
        self.status = status
        self.code = code
        self.message = message
        self.details = details


class Verifier(S3SigV4Auth):
    """botocore's S3 signer, told which headers the client signed instead of choosing them itself;
    the payload hash among them is the one of the body that came."""

    def __init__(self, credentials, region, signed, headers, payload):
        super().__init__(credentials, "s3", region)
        self._signed = HTTPHeaders()
        for name in signed:
            values = [payload] if name == "x-amz-content-sha256" else headers.get_all(name) or []
            for value in values:
                self._signed[name] = value

    def headers_to_sign(self, request):
        return self._signed


def xml_error(code, message, details):
    items = "".join("<%s>%s</%s>" % (name, escape(str(value)), name) for name, value in details.items())
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<Error><Code>%s</Code><Message>%s</Message>%s'
            "<RequestId>%s</RequestId></Error>" % (code, escape(message), items, uuid.uuid4().hex)).encode()


def escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def check_signature(args, method, target, headers, body):
    """Raises Refusal unless the request carries a valid Signature V4 of this front's account."""
    authorization = headers.get("Authorization")
    if authorization is None:
        raise Refusal(403, "SignatureDoesNotMatch", "The request carries no signature.")
    match = AUTHORIZATION.fullmatch(authorization.strip())
    if not match:
        raise Refusal(400, "AuthorizationHeaderMalformed", "The authorization header is malformed.")
    if match["key"] != args.access_key:
        raise Refusal(403, "InvalidAccessKeyId",
                      "The AWS Access Key Id you provided does not exist in our records.",
                      AWSAccessKeyId=match["key"])
    if match["region"] != args.region or match["service"] != "s3":
        raise Refusal(400, "AuthorizationHeaderMalformed",
                      "The authorization header is malformed; the region '%s' is wrong; expecting '%s'"
                      % (match["region"], args.region), Region=args.region)
    stamp = headers.get("x-amz-date", "")
    try:
        when = datetime.datetime.strptime(stamp, "%Y%m%dT%H%M%SZ").replace(tzinfo=datetime.timezone.utc)
    except ValueError:
        raise Refusal(403, "AccessDenied", "AWS authentication requires a valid Date or x-amz-date header")
    if abs(datetime.datetime.now(datetime.timezone.utc) - when) > MAX_SKEW:
        raise Refusal(403, "RequestTimeTooSkewed",
                      "The difference between the request time and the current time is too large.")
    declared = headers.get("x-amz-content-sha256")
    if declared is None:
        raise Refusal(400, "InvalidRequest", "Missing required header for this request: x-amz-content-sha256")
    if declared.startswith("STREAMING-"):
        raise Refusal(501, "NotImplemented", "Chunked signed uploads are not supported here.")
    payload = declared if declared == "UNSIGNED-PAYLOAD" else hashlib.sha256(body).hexdigest()

    path, _, query = target.partition("?")
    signed = match["signed"].split(";")
    verifier = Verifier(Credentials(args.access_key, args.secret_key), args.region, signed, headers, payload)
    request = AWSRequest(method=method, url="http://%s%s" % (headers.get("Host", ""), path),
                         params=urllib.parse.parse_qsl(query, keep_blank_values=True), data=body)
    request.headers["X-Amz-Content-SHA256"] = payload
    request.context["timestamp"] = stamp
    canonical = verifier.canonical_request(request)
    string_to_sign = verifier.string_to_sign(request, canonical)
    expected = verifier.signature(string_to_sign, request)
    if not hmac.compare_digest(expected, match["signature"]):
        raise Refusal(403, "SignatureDoesNotMatch",
                      "The request signature we calculated does not match the signature you provided. "
                      "Check your key and signing method.",
                      AWSAccessKeyId=match["key"], StringToSign=string_to_sign, CanonicalRequest=canonical)


def upstream_path(headers, path):
    """Path-style path for s3rver: a virtual-hosted request's bucket moves from the host into the path."""
    host = headers.get("Host", "").rsplit(":", 1)[0].strip("[]")
    try:
        ipaddress.ip_address(host)
        return path
    except ValueError:
        pass
    if "." not in host:
        return path
    return "/" + host.split(".", 1)[0] + path


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "VelmoraS3Front"
    sys_version = ""
    # Headers and body go out in two writes; Nagle's algorithm would hold the second one back.
    disable_nagle_algorithm = True

    def setup(self):
        self.timeout = self.server.args.idle_seconds
        super().setup()
        self.served = 0

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        self.serve()

    do_HEAD = do_PUT = do_POST = do_DELETE = do_GET

    def read_body(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            raise Refusal(411, "MissingContentLength", "You must provide the Content-Length HTTP header.")
        length = self.headers.get("Content-Length")
        if length is None:
            if self.command in ("PUT", "POST"):
                raise Refusal(411, "MissingContentLength", "You must provide the Content-Length HTTP header.")
            return b""
        if not length.isdigit() or int(length) > MAX_BODY:
            raise Refusal(400, "EntityTooLarge", "Your proposed upload exceeds the maximum allowed size.")
        body = self.rfile.read(int(length))
        if len(body) != int(length):
            raise Refusal(400, "IncompleteBody", "You did not provide the number of bytes specified.")
        return body

    def serve(self):
        args = self.server.args
        path = self.path.partition("?")[0]
        store_path = upstream_path(self.headers, path)
        key = store_path.lstrip("/").partition("/")[2]
        error = None
        body = None
        try:
            body = self.read_body()
            check_signature(args, self.command, self.path, self.headers, body)
            if key.startswith("slow/"):
                time.sleep(args.slow_ms / 1000.0)
            if key.startswith("ro/") and self.command in ("PUT", "DELETE", "POST"):
                raise Refusal(403, "AccessDenied", "Access Denied")
            if key.startswith("full/") and self.command == "PUT":
                raise Refusal(507, "XMinioStorageFull",
                              "Storage backend has reached its minimum free drive threshold. "
                              "Please delete a few objects to proceed.")
            status, reason, headers, answer = self.forward(store_path, body)
        except Refusal as refusal:
            error = refusal.code
            status, reason = refusal.status, http.client.responses.get(refusal.status, "Error")
            answer = xml_error(refusal.code, refusal.message, refusal.details)
            headers = [("Content-Type", "application/xml")]
            # A body left unread would be taken for the next request.
            if body is None:
                self.close_connection = True
        self.log(status, error)
        self.send_response(status, reason)
        for name, value in headers:
            self.send_header(name, value)
        if self.command != "HEAD":
            self.send_header("Content-Length", str(len(answer)))
        elif error:
            self.send_header("Content-Length", "0")
        if self.close_connection:
            self.send_header("Connection", "close")
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(answer)
        self.served += 1

    def forward(self, store_path, body):
        query = self.path.partition("?")[2]
        target = store_path + ("?" + query if query else "")
        headers = {name: value for name, value in self.headers.items()
                   if name.lower() not in HOP_BY_HOP and name.lower() not in ("host", "authorization")}
        key = store_path.lstrip("/").partition("/")[2]
        sent = body
        if key.startswith("short/") and self.command == "PUT" and body:
            sent = body[:-1]
        if key.startswith("altered/") and self.command == "PUT" and body:
            sent = bytes([body[0] ^ 0xFF]) + body[1:]
        if self.command in ("PUT", "POST") or sent:
            headers["Content-Length"] = str(len(sent))
        connection = http.client.HTTPConnection("127.0.0.1", self.server.args.upstream, timeout=30)
        try:
            connection.request(self.command, target, body=sent if sent or self.command == "PUT" else None,
                               headers=headers)
            response = connection.getresponse()
            answer = response.read()
        except (OSError, http.client.HTTPException) as failure:
            raise Refusal(503, "ServiceUnavailable", "The object store did not answer: %s" % failure)
        finally:
            connection.close()
        # A HEAD answer's Content-Length is the object's size, kept as s3rver gave it.
        relayed = [(name, value) for name, value in response.getheaders()
                   if name.lower() not in HOP_BY_HOP
                   or (self.command == "HEAD" and name.lower() == "content-length")]
        if key.startswith("short/") and sent is not body and response.status == 200:
            relayed = [(name, value) for name, value in relayed if name.lower() != "etag"]
            relayed.append(("ETag", '"%s"' % hashlib.md5(body).hexdigest()))
        return response.status, response.reason, relayed, answer

    def log(self, status, error):
        if not self.server.args.request_log:
            return
        fields = [self.command, self.path, str(status), str(self.served)]
        for name in LOGGED_HEADERS:
            value = self.headers.get(name)
            if value is not None:
                fields.append("%s=%s" % (name, value.replace("\t", " ")))
        if error:
            fields.append("error=" + error)
        with self.server.log_lock, open(self.server.args.request_log, "a", encoding="utf-8") as log:
            log.write("\t".join(fields) + "\n")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        # A client that goes away mid-request (a cancelled upload) is no error of the server's.
        if isinstance(sys.exc_info()[1], (ConnectionError, ssl.SSLError, TimeoutError)):
            return
        super().handle_error(request, client_address)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--upstream", type=int, required=True)
    parser.add_argument("--access-key", required=True)
    parser.add_argument("--secret-key", required=True)
    parser.add_argument("--region", required=True)
    parser.add_argument("--tls")
    parser.add_argument("--slow-ms", type=int, default=20000)
    parser.add_argument("--idle-seconds", type=int, default=20)
    parser.add_argument("--request-log")
    args = parser.parse_args()

    server = Server(("127.0.0.1", 0), Handler)
    server.args = args
    server.log_lock = threading.Lock()
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls)
        # The handshake happens on the connection's own thread, at its first read.
        server.socket = context.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    print("PORT %d" % server.server_address[1], flush=True)
    sys.stdout.close()
    server.serve_forever()


if __name__ == "__main__":
    main()
