#!/usr/bin/env python3
"""An RTSP camera for tests on the loopback interface (gst-rtsp-server through PyGObject).

Serves rtsp://127.0.0.1:<port>/camera: a white ball moving over --colour (0xAARRGGBB),
--width x --height at 15 frames a second, as RTP/JPEG. With --user and --password the stream
needs them (basic authentication). Prints "PORT <n>" once it listens, then serves until killed.
"""
import argparse
import sys

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtspServer  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--colour", default="0xffff0000")
    parser.add_argument("--width", type=int, default=320)
    parser.add_argument("--height", type=int, default=240)
    parser.add_argument("--user", default="")
    parser.add_argument("--password", default="")
    options = parser.parse_args()

    Gst.init(None)
    server = GstRtspServer.RTSPServer()
    server.set_address("127.0.0.1")
    server.set_service(str(options.port))
    factory = GstRtspServer.RTSPMediaFactory()
    # RTP/JPEG carries 4:2:0 pictures only.
    factory.set_launch(
        f"( videotestsrc is-live=true pattern=ball background-color={options.colour} ! "
        f"video/x-raw,width={options.width},height={options.height},framerate=15/1,format=I420 ! "
        "jpegenc ! rtpjpegpay name=pay0 pt=26 )")
    factory.set_shared(True)
    if options.user or options.password:
        auth = GstRtspServer.RTSPAuth()
        token = GstRtspServer.RTSPToken()
        token.set_string(GstRtspServer.RTSP_TOKEN_MEDIA_FACTORY_ROLE, "viewer")
        auth.add_basic(GstRtspServer.RTSPAuth.make_basic(options.user, options.password), token)
        server.set_auth(auth)
        permissions = GstRtspServer.RTSPPermissions()
        permissions.add_permission_for_role("viewer", GstRtspServer.RTSP_PERM_MEDIA_FACTORY_ACCESS, True)
        permissions.add_permission_for_role("viewer", GstRtspServer.RTSP_PERM_MEDIA_FACTORY_CONSTRUCT, True)
        factory.set_permissions(permissions)
    server.get_mount_points().add_factory("/camera", factory)
    if server.attach(None) == 0:
        sys.exit("cannot listen")
    print("PORT", server.get_bound_port(), flush=True)
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
