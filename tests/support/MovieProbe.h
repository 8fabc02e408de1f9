#pragma once

#include "capture/GstPtr.h"

#include <QString>
#include <QUrl>

#include <gst/pbutils/pbutils.h>

// What GStreamer's discoverer finds in a movie file; all zero when it cannot play it.
struct MovieInfo
{
    int videoStreams = 0;
    int audioStreams = 0;
    double seconds = 0;
};

inline MovieInfo probeMovie(const QString& path)
{
    MovieInfo result;
    GError* raw = nullptr;
    GstDiscoverer* discoverer = gst_discoverer_new(5 * GST_SECOND, &raw);
    GstPtr<GError> error(raw);
    if (!discoverer)
        return result;
    const QByteArray uri = QUrl::fromLocalFile(path).toEncoded();
    GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri.constData(), &raw);
    GstPtr<GError> discoverError(raw);
    if (info && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
        GList* video = gst_discoverer_info_get_video_streams(info);
        GList* audio = gst_discoverer_info_get_audio_streams(info);
        result.videoStreams = int(g_list_length(video));
        result.audioStreams = int(g_list_length(audio));
        gst_discoverer_stream_info_list_free(video);
        gst_discoverer_stream_info_list_free(audio);
        result.seconds = double(gst_discoverer_info_get_duration(info)) / GST_SECOND;
    }
    if (info)
        g_object_unref(info);
    g_object_unref(discoverer);
    return result;
}

// The frames of a WebM or Matroska movie's video stream, counted by demuxing it to the end; -1 when
// it cannot be read.
inline int countVideoFrames(const QString& path, int timeoutMs = 30000)
{
    GError* raw = nullptr;
    const QByteArray description = "filesrc name=file ! matroskademux ! fakesink name=sink sync=false";
    GstPtr<GstElement> pipeline(gst_parse_launch(description.constData(), &raw));
    GstPtr<GError> error(raw);
    if (!pipeline)
        return -1;
    GstPtr<GstElement> file(gst_bin_get_by_name(GST_BIN(pipeline.get()), "file"));
    GstPtr<GstElement> sink(gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink"));
    const QByteArray location = path.toLocal8Bit();
    g_object_set(file.get(), "location", location.constData(), nullptr);
    int frames = 0;
    GstPtr<GstPad> pad(gst_element_get_static_pad(sink.get(), "sink"));
    gst_pad_add_probe(
        pad.get(), GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo*, gpointer counter) {
            ++*static_cast<int*>(counter);
            return GST_PAD_PROBE_OK;
        },
        &frames, nullptr);
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    GstPtr<GstBus> bus(gst_element_get_bus(pipeline.get()));
    GstPtr<GstMessage> end(gst_bus_timed_pop_filtered(bus.get(), GstClockTime(timeoutMs) * GST_MSECOND,
                                                      GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)));
    const bool ended = end && GST_MESSAGE_TYPE(end.get()) == GST_MESSAGE_EOS;
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return ended ? frames : -1;
}
