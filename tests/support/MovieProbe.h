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
