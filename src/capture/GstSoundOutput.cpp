#include "capture/GstSoundOutput.h"

#include "capture/GstInit.h"

#include <QUrl>

#include <gst/gst.h>

GstSoundOutput::GstSoundOutput(std::function<void()> beep) : m_beep(std::move(beep)) {}

GstSoundOutput::~GstSoundOutput()
{
    stop();
    if (m_playbin)
        gst_object_unref(m_playbin);
}

void GstSoundOutput::stop()
{
    if (m_playbin)
        gst_element_set_state(m_playbin, GST_STATE_NULL);
}

void GstSoundOutput::playFile(const QString& path)
{
    ensureGstInitialized();
    if (!m_playbin) {
        m_playbin = gst_element_factory_make("playbin", nullptr);
        if (!m_playbin)
            return;
        gst_object_ref_sink(m_playbin);
        // Sound only: a video stream in the file is not shown.
        GstElement* fakeVideo = gst_element_factory_make("fakesink", nullptr);
        if (fakeVideo)
            g_object_set(m_playbin, "video-sink", fakeVideo, nullptr);
    }
    stop();
    const QByteArray uri = QUrl::fromLocalFile(path).toEncoded();
    g_object_set(m_playbin, "uri", uri.constData(), nullptr);
    // Asynchronous: the state change returns at once and the sound plays on GStreamer's threads.
    gst_element_set_state(m_playbin, GST_STATE_PLAYING);
}

void GstSoundOutput::beep()
{
    if (m_beep)
        m_beep();
}
