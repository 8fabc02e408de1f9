#include "capture/SnapshotSource.h"

#include "capture/FrameDecoder.h"

#include <gst/base/gstpushsrc.h>

#include <curl/curl.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

namespace {
using Clock = std::chrono::steady_clock;

// A picture larger than this is no camera's snapshot.
constexpr size_t kMaxPictureBytes = 32u << 20;
constexpr long kConnectTimeoutSeconds = 10;
constexpr long kRequestTimeoutSeconds = 20;

struct CurlCleanup
{
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

struct State
{
    std::string address;
    std::string user;
    std::string password;
    Clock::duration interval{};

    std::mutex mutex;
    std::condition_variable wake;
    bool flushing = false;
    Clock::time_point nextRequest{};
    std::unique_ptr<CURL, CurlCleanup> curl;
    std::string body;
    QSize size; // of the pictures so far, as the caps state it
};

struct VelmoraSnapshotSrc
{
    GstPushSrc parent;
    State* state;
};

struct VelmoraSnapshotSrcClass
{
    GstPushSrcClass parent_class;
};

GType velmora_snapshot_src_get_type();
// GLib's type macro casts in C style.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
G_DEFINE_TYPE(VelmoraSnapshotSrc, velmora_snapshot_src, GST_TYPE_PUSH_SRC)
#pragma GCC diagnostic pop

State& stateOf(gpointer self)
{
    return *reinterpret_cast<VelmoraSnapshotSrc*>(self)->state;
}

size_t collect(char* data, size_t size, size_t count, void* user)
{
    auto& body = *static_cast<std::string*>(user);
    const size_t bytes = size * count;
    if (body.size() + bytes > kMaxPictureBytes)
        return 0; // ends the transfer with a write error
    body.append(data, bytes);
    return bytes;
}

int progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto& state = *static_cast<State*>(user);
    std::lock_guard lock(state.mutex);
    return state.flushing ? 1 : 0; // non-zero aborts the request
}

gboolean start(GstBaseSrc* base)
{
    State& state = stateOf(base);
    state.curl.reset(curl_easy_init());
    if (!state.curl) {
        GST_ELEMENT_ERROR(base, RESOURCE, OPEN_READ, ("The HTTP library cannot start"), (nullptr));
        return FALSE;
    }
    CURL* curl = state.curl.get();
    curl_easy_setopt(curl, CURLOPT_URL, state.address.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, kRequestTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 3L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &state.body);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &state);
    if (!state.user.empty() || !state.password.empty()) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
        curl_easy_setopt(curl, CURLOPT_USERNAME, state.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, state.password.c_str());
    }
    std::lock_guard lock(state.mutex);
    state.nextRequest = Clock::now();
    state.size = QSize();
    return TRUE;
}

gboolean stop(GstBaseSrc* base)
{
    stateOf(base).curl.reset();
    return TRUE;
}

gboolean unlock(GstBaseSrc* base)
{
    State& state = stateOf(base);
    {
        std::lock_guard lock(state.mutex);
        state.flushing = true;
    }
    state.wake.notify_all();
    return TRUE;
}

gboolean unlockStop(GstBaseSrc* base)
{
    State& state = stateOf(base);
    std::lock_guard lock(state.mutex);
    state.flushing = false;
    return TRUE;
}

GstFlowReturn create(GstPushSrc* source, GstBuffer** buffer)
{
    State& state = stateOf(source);
    {
        std::unique_lock lock(state.mutex);
        state.wake.wait_until(lock, state.nextRequest, [&] { return state.flushing; });
        if (state.flushing)
            return GST_FLOW_FLUSHING;
        state.nextRequest = std::max(Clock::now(), state.nextRequest + state.interval);
    }
    state.body.clear();
    const CURLcode result = curl_easy_perform(state.curl.get());
    {
        std::lock_guard lock(state.mutex);
        if (state.flushing)
            return GST_FLOW_FLUSHING;
    }
    long status = 0;
    curl_easy_getinfo(state.curl.get(), CURLINFO_RESPONSE_CODE, &status);
    if (result != CURLE_OK) {
        GST_ELEMENT_ERROR(source, RESOURCE, OPEN_READ, ("%s", curl_easy_strerror(result)), (nullptr));
        return GST_FLOW_ERROR;
    }
    if (status == 401 || status == 403) {
        GST_ELEMENT_ERROR(source, RESOURCE, NOT_AUTHORIZED, ("The camera refused the user name or password"),
                          (nullptr));
        return GST_FLOW_ERROR;
    }
    if (status < 200 || status >= 300) {
        GST_ELEMENT_ERROR(source, RESOURCE, READ, ("The camera answered with HTTP status %ld", status),
                          (nullptr));
        return GST_FLOW_ERROR;
    }
    const std::string& body = state.body;
    if (body.size() < 4 || quint8(body[0]) != 0xff || quint8(body[1]) != 0xd8) {
        GST_ELEMENT_ERROR(source, STREAM, DECODE, ("The camera's answer is no JPEG picture"), (nullptr));
        return GST_FLOW_ERROR;
    }
    // The caps state each picture's size, so that the frames need no parsing further on.
    const QSize size = FrameDecoder::jpegSize(reinterpret_cast<const uchar*>(body.data()), body.size());
    if (size.isEmpty()) {
        GST_ELEMENT_ERROR(source, STREAM, DECODE, ("The camera's picture states no size"), (nullptr));
        return GST_FLOW_ERROR;
    }
    if (size != state.size) {
        GstCaps* caps =
            gst_caps_new_simple("image/jpeg", "width", G_TYPE_INT, size.width(), "height", G_TYPE_INT,
                                size.height(), "framerate", GST_TYPE_FRACTION, 0, 1, nullptr);
        const bool set = gst_base_src_set_caps(GST_BASE_SRC(source), caps);
        gst_caps_unref(caps);
        if (!set) {
            GST_ELEMENT_ERROR(source, CORE, NEGOTIATION, ("The camera's pictures cannot be shown"),
                              (nullptr));
            return GST_FLOW_NOT_NEGOTIATED;
        }
        state.size = size;
    }
    *buffer = gst_buffer_new_memdup(body.data(), body.size());
    return GST_FLOW_OK;
}

// The caps come with the first picture (create), not from what downstream could take.
gboolean negotiate(GstBaseSrc*)
{
    return TRUE;
}

void finalize(GObject* object)
{
    delete reinterpret_cast<VelmoraSnapshotSrc*>(object)->state;
    G_OBJECT_CLASS(velmora_snapshot_src_parent_class)->finalize(object);
}

GstStaticPadTemplate sourceTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS("image/jpeg"));

void velmora_snapshot_src_class_init(VelmoraSnapshotSrcClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = &finalize;
    auto* elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(elementClass, &sourceTemplate);
    gst_element_class_set_static_metadata(elementClass, "Velmora snapshot camera", "Source/Video/Network",
                                          "Polls an HTTP address that answers with one JPEG", "Velmora");
    auto* baseClass = GST_BASE_SRC_CLASS(klass);
    baseClass->start = &start;
    baseClass->stop = &stop;
    baseClass->unlock = &unlock;
    baseClass->unlock_stop = &unlockStop;
    baseClass->negotiate = &negotiate;
    GST_PUSH_SRC_CLASS(klass)->create = &create;
}

void velmora_snapshot_src_init(VelmoraSnapshotSrc* self)
{
    self->state = new State;
    gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
    gst_base_src_set_do_timestamp(GST_BASE_SRC(self), TRUE);
}
} // namespace

GstElement* SnapshotSource::create(const char* name, const QString& address, const QString& user,
                                   const QString& password, int intervalMs)
{
    auto* element = static_cast<VelmoraSnapshotSrc*>(
        g_object_new(velmora_snapshot_src_get_type(), "name", name, nullptr));
    State& state = *element->state;
    state.address = address.toStdString();
    state.user = user.toStdString();
    state.password = password.toStdString();
    state.interval = std::chrono::milliseconds(intervalMs);
    return GST_ELEMENT(element);
}
