#include "capture/NetworkSource.h"

#include "capture/CameraFault.h"
#include "capture/GstPtr.h"
#include "capture/HttpCameraSource.h"
#include "capture/PictureLimits.h"

namespace {
// Only the video of an RTSP stream is set up; its sound is never sent.
gboolean onlyVideo(GstElement*, guint, GstCaps* caps, gpointer)
{
    if (!caps || gst_caps_get_size(caps) == 0)
        return FALSE;
    const gchar* media = gst_structure_get_string(gst_caps_get_structure(caps, 0), "media");
    return media && g_str_equal(media, "video");
}

// Every stream decodebin meets is looked at before a decoder is chosen for it: a size beyond the
// limits (an RTSP camera states it in its session description or its video headers) is refused
// before a decoder allocates a frame of it.
gboolean withinLimits(GstElement* decodebin, GstPad*, GstCaps* caps, gpointer)
{
    for (guint i = 0; caps && i < gst_caps_get_size(caps); ++i) {
        int width = 0;
        int height = 0;
        const GstStructure* structure = gst_caps_get_structure(caps, i);
        if (!gst_structure_get_int(structure, "width", &width) ||
            !gst_structure_get_int(structure, "height", &height))
            continue;
        if (!PictureLimits::allowed(QSize(width, height))) {
            CameraFault{CameraFault::Kind::TooLarge, PictureLimits::sizeText(QSize(width, height))}.post(
                decodebin);
            return FALSE;
        }
    }
    return TRUE;
}

// The elements of a description made into one bin with the source's name, whose output is the
// source pad of the element named "out". Only that pad is ghosted: the inner links to pads that
// appear later must not be taken for the bin's own.
Result<GstPtr<GstElement>> parseBin(const char* description)
{
    GError* raw = nullptr;
    GstPtr<GstElement> bin = gstSink(gst_parse_bin_from_description(description, FALSE, &raw));
    GstPtr<GError> parseError(raw);
    if (parseError || !bin)
        return Failure::of(Failure::Kind::Unsupported,
                           parseError ? QString::fromUtf8(parseError->message)
                                      : QStringLiteral("The network source cannot be built"));
    gst_element_set_name(bin.get(), "source");
    GstPtr<GstElement> out(gst_bin_get_by_name(GST_BIN(bin.get()), "out"));
    GstPtr<GstPad> outPad(gst_element_get_static_pad(out.get(), "src"));
    gst_element_add_pad(bin.get(), gst_ghost_pad_new("src", outPad.get()));
    return bin;
}

Result<GstPtr<GstElement>> rtspSource(const NetworkCamera& camera)
{
    // decodebin picks the depayloader and the decoder the stream needs (MJPEG, H.264, ...).
    Result<GstPtr<GstElement>> parsed =
        parseBin("rtspsrc name=net ! decodebin name=decode ! capsfilter name=out caps=video/x-raw");
    if (!parsed)
        return parsed;
    GstElement* bin = parsed->get();
    GstPtr<GstElement> net(gst_bin_get_by_name(GST_BIN(bin), "net"));
    const QByteArray address = camera.address.toUtf8();
    g_object_set(net.get(), "location", address.constData(), "latency", guint(NetworkSource::kRtspLatencyMs),
                 "tcp-timeout", guint64(NetworkSource::kTimeoutSeconds) * G_USEC_PER_SEC, nullptr);
    if (!camera.user.isEmpty() || !camera.password.isEmpty())
        g_object_set(net.get(), "user-id", camera.user.toUtf8().constData(), "user-pw",
                     camera.password.toUtf8().constData(), nullptr);
    g_signal_connect(net.get(), "select-stream", G_CALLBACK(&onlyVideo), nullptr);
    GstPtr<GstElement> decode(gst_bin_get_by_name(GST_BIN(bin), "decode"));
    g_signal_connect(decode.get(), "autoplug-continue", G_CALLBACK(&withinLimits), nullptr);
    return parsed;
}

} // namespace

Result<GstPtr<GstElement>> NetworkSource::create(const NetworkCamera& camera)
{
    const Result<NetworkCamera> tidied = NetworkCamera::tidy(camera);
    if (!tidied)
        return Failure::of(tidied.failure().kind, QStringLiteral("The camera \"%1\" cannot be used. %2")
                                                      .arg(camera.name, tidied.failure().sentence));
    const NetworkCamera& checked = *tidied;
    GstElement* source = nullptr;
    switch (checked.kind) {
    case NetworkCamera::Kind::Rtsp:
        return rtspSource(checked);
    case NetworkCamera::Kind::MjpegStream:
        source = HttpCameraSource::create("source", HttpCameraSource::Mode::Stream, checked.address,
                                          checked.user, checked.password);
        break;
    case NetworkCamera::Kind::Snapshot:
        source = HttpCameraSource::create("source", HttpCameraSource::Mode::Snapshot, checked.address,
                                          checked.user, checked.password, NetworkCamera::kSnapshotIntervalMs);
        break;
    }
    if (!source)
        return Failure::of(Failure::Kind::Internal,
                           QStringLiteral("The driver \"%1\" cannot be opened").arg(camera.name));
    return gstSink(source);
}
