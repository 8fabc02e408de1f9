#include "capture/NetworkSource.h"

#include "capture/GstPtr.h"
#include "capture/SnapshotSource.h"

namespace {
// Only the video of an RTSP stream is set up; its sound is never sent.
gboolean onlyVideo(GstElement*, guint, GstCaps* caps, gpointer)
{
    if (!caps || gst_caps_get_size(caps) == 0)
        return FALSE;
    const gchar* media = gst_structure_get_string(gst_caps_get_structure(caps, 0), "media");
    return media && g_str_equal(media, "video");
}

// The elements of a description made into one bin with the source's name, whose output is the
// source pad of the element named "out"; null with the reason. Only that pad is ghosted: the inner
// links to pads that appear later must not be taken for the bin's own.
GstElement* parseBin(const char* description, QString* error)
{
    GError* raw = nullptr;
    GstElement* bin = gst_parse_bin_from_description(description, FALSE, &raw);
    GstPtr<GError> parseError(raw);
    if (parseError || !bin) {
        *error = parseError ? QString::fromUtf8(parseError->message)
                            : QStringLiteral("The network source cannot be built");
        if (bin)
            gst_object_unref(gst_object_ref_sink(bin));
        return nullptr;
    }
    gst_element_set_name(bin, "source");
    GstPtr<GstElement> out(gst_bin_get_by_name(GST_BIN(bin), "out"));
    GstPtr<GstPad> outPad(gst_element_get_static_pad(out.get(), "src"));
    gst_element_add_pad(bin, gst_ghost_pad_new("src", outPad.get()));
    return bin;
}

GstElement* rtspSource(const NetworkCamera& camera, QString* error)
{
    // decodebin picks the depayloader and the decoder the stream needs (MJPEG, H.264, ...).
    GstElement* bin = parseBin("rtspsrc name=net ! decodebin ! capsfilter name=out caps=video/x-raw", error);
    if (!bin)
        return nullptr;
    GstPtr<GstElement> net(gst_bin_get_by_name(GST_BIN(bin), "net"));
    const QByteArray address = camera.address.toUtf8();
    g_object_set(net.get(), "location", address.constData(), "latency", guint(NetworkSource::kRtspLatencyMs),
                 "tcp-timeout", guint64(NetworkSource::kTimeoutSeconds) * G_USEC_PER_SEC, nullptr);
    if (!camera.user.isEmpty() || !camera.password.isEmpty())
        g_object_set(net.get(), "user-id", camera.user.toUtf8().constData(), "user-pw",
                     camera.password.toUtf8().constData(), nullptr);
    g_signal_connect(net.get(), "select-stream", G_CALLBACK(&onlyVideo), nullptr);
    return bin;
}

GstElement* mjpegSource(const NetworkCamera& camera, QString* error)
{
    GstElement* bin = parseBin("souphttpsrc name=net ! multipartdemux single-stream=true ! "
                               "capsfilter name=out caps=image/jpeg",
                               error);
    if (!bin)
        return nullptr;
    GstPtr<GstElement> net(gst_bin_get_by_name(GST_BIN(bin), "net"));
    const QByteArray address = camera.address.toUtf8();
    // Live and stamped on arrival: a stream that sends no times of its own still records.
    g_object_set(net.get(), "location", address.constData(), "is-live", TRUE, "do-timestamp", TRUE, "timeout",
                 guint(NetworkSource::kTimeoutSeconds), "retries", 0, nullptr);
    if (!camera.user.isEmpty() || !camera.password.isEmpty())
        g_object_set(net.get(), "user-id", camera.user.toUtf8().constData(), "user-pw",
                     camera.password.toUtf8().constData(), nullptr);
    return bin;
}
} // namespace

GstElement* NetworkSource::create(const NetworkCamera& camera, QString* error)
{
    NetworkCamera checked = camera;
    if (const QString problem = NetworkCamera::tidy(checked); !problem.isEmpty()) {
        *error = QStringLiteral("The camera \"%1\" cannot be used. %2").arg(camera.name, problem);
        return nullptr;
    }
    switch (checked.kind) {
    case NetworkCamera::Kind::Rtsp:
        return rtspSource(checked, error);
    case NetworkCamera::Kind::MjpegStream:
        return mjpegSource(checked, error);
    case NetworkCamera::Kind::Snapshot:
        return SnapshotSource::create("source", checked.address, checked.user, checked.password,
                                      NetworkCamera::kSnapshotIntervalMs);
    }
    return nullptr;
}
