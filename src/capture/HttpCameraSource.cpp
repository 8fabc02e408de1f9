#include "capture/HttpCameraSource.h"

#include "capture/CameraFault.h"
#include "capture/FrameDecoder.h"
#include "capture/MjpegSplitter.h"
#include "capture/PictureLimits.h"

#include <gst/base/gstpushsrc.h>

#include <curl/curl.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace {
using Clock = std::chrono::steady_clock;
using Mode = HttpCameraSource::Mode;
using Kind = CameraFault::Kind;

// How long a wait for the network lasts before the stop flag is looked at again (a stop wakes it
// at once anyway).
constexpr int kPollMs = 1000;

struct EasyCleanup
{
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct MultiCleanup
{
    void operator()(CURLM* handle) const { curl_multi_cleanup(handle); }
};

// One answer of the camera as it arrives.
struct Answer
{
    bool accepted = false; // its status and type were read and allow a picture
    QByteArray phrase;     // the words of its status line
    QByteArray type;
    QByteArray body;                      // a snapshot, or a stream that is one picture
    std::unique_ptr<MjpegSplitter> parts; // a stream of parts
    std::optional<CameraFault> fault;     // why it was cut off
};

struct State
{
    Mode mode = Mode::Stream;
    std::string address;
    std::string user;
    std::string password;
    Clock::duration interval{};

    std::mutex mutex;
    std::condition_variable wake;
    bool flushing = false;                      // guarded by mutex
    std::unique_ptr<CURLM, MultiCleanup> multi; // its wake-up is called under mutex
    Clock::time_point nextRequest{};

    // The streaming thread's own.
    std::unique_ptr<CURL, EasyCleanup> curl;
    bool transferring = false; // the request is in the multi handle
    bool finished = false;     // the request ended; result says how
    CURLcode result = CURLE_OK;
    bool ended = false; // a stream that ended and said all it had
    Answer answer;
    QSize size; // of the pictures so far, as the caps state it
};

struct VelmoraHttpCameraSrc
{
    GstPushSrc parent;
    State* state;
};

struct VelmoraHttpCameraSrcClass
{
    GstPushSrcClass parent_class;
};

GType velmora_http_camera_src_get_type();
// GLib's type macro casts in C style.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
G_DEFINE_TYPE(VelmoraHttpCameraSrc, velmora_http_camera_src, GST_TYPE_PUSH_SRC)
#pragma GCC diagnostic pop

State& stateOf(gpointer self)
{
    return *reinterpret_cast<VelmoraHttpCameraSrc*>(self)->state;
}

QByteArray bareType(const QByteArray& type)
{
    const qsizetype end = type.indexOf(';');
    return (end < 0 ? type : type.left(end)).trimmed().toLower().left(60);
}

bool isFlushing(State& state)
{
    std::lock_guard lock(state.mutex);
    return state.flushing;
}

std::optional<CameraFault> statusFault(long status, const QByteArray& phrase)
{
    if (status == 401 || status == 403 || status == 407)
        return CameraFault{Kind::LoginRefused};
    if (status < 200 || status >= 300)
        return CameraFault{Kind::HttpStatus, CameraFault::statusText("HTTP", status, phrase)};
    return std::nullopt;
}

CameraFault transferFault(CURLcode code)
{
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        return {Kind::NoAnswer};
    case CURLE_FILESIZE_EXCEEDED:
        return {Kind::TooLarge, PictureLimits::bytesText()};
    case CURLE_COULDNT_RESOLVE_HOST:
        return {Kind::Unreachable, QStringLiteral("unknown host name")};
    case CURLE_PEER_FAILED_VERIFICATION:
        return {Kind::Unreachable, QStringLiteral("its certificate is not trusted")};
    case CURLE_SSL_CONNECT_ERROR:
        return {Kind::Unreachable, QStringLiteral("no secure connection")};
    case CURLE_TOO_MANY_REDIRECTS:
        return {Kind::Unreachable, QStringLiteral("too many redirections")};
    case CURLE_UNSUPPORTED_PROTOCOL:
        return {Kind::Unreachable, QStringLiteral("redirected to an address that is not HTTP")};
    default:
        return {Kind::Unreachable};
    }
}

size_t onHeader(char* data, size_t size, size_t count, void* user)
{
    const size_t bytes = size * count;
    const QByteArray line(data, qsizetype(bytes));
    // Each answer starts with its status line (there are several after a redirection or a login).
    if (line.startsWith("HTTP/")) {
        Answer& answer = static_cast<State*>(user)->answer;
        const qsizetype code = line.indexOf(' ');
        const qsizetype words = code < 0 ? -1 : line.indexOf(' ', code + 1);
        answer.phrase = words < 0 ? QByteArray() : line.mid(words + 1).trimmed();
    }
    return bytes;
}

// Reads the status and type once the body starts; false with the fault when they allow no picture.
bool accept(State& state)
{
    Answer& answer = state.answer;
    long status = 0;
    curl_easy_getinfo(state.curl.get(), CURLINFO_RESPONSE_CODE, &status);
    char* type = nullptr;
    curl_easy_getinfo(state.curl.get(), CURLINFO_CONTENT_TYPE, &type);
    answer.type = type ? QByteArray(type) : QByteArray();
    if ((answer.fault = statusFault(status, answer.phrase)))
        return false;
    if (state.mode == Mode::Stream && bareType(answer.type).startsWith("multipart/"))
        answer.parts = std::make_unique<MjpegSplitter>(MjpegSplitter::boundaryOf(answer.type));
    else if (!PictureLimits::mayBeJpeg(answer.type))
        answer.fault = CameraFault{Kind::NotAPicture, QString::fromLatin1(bareType(answer.type))};
    answer.accepted = !answer.fault;
    return answer.accepted;
}

// Any other count than the one given ends the transfer.
size_t onBody(char* data, size_t size, size_t count, void* user)
{
    State& state = *static_cast<State*>(user);
    Answer& answer = state.answer;
    const size_t bytes = size * count;
    if (!answer.accepted && !accept(state))
        return 0;
    if (answer.parts) {
        if (answer.parts->feed(data, bytes))
            return bytes;
        answer.fault = answer.parts->fault();
        return 0;
    }
    if (size_t(answer.body.size()) + bytes > PictureLimits::kMaxBytes) {
        answer.fault = CameraFault{Kind::TooLarge, PictureLimits::bytesText()};
        return 0;
    }
    answer.body.append(data, qsizetype(bytes));
    return bytes;
}

gboolean start(GstBaseSrc* base)
{
    State& state = stateOf(base);
    state.curl.reset(curl_easy_init());
    {
        std::lock_guard lock(state.mutex);
        state.multi.reset(curl_multi_init());
        state.nextRequest = Clock::now();
    }
    if (!state.curl || !state.multi) {
        CameraFault{Kind::Unreachable, QStringLiteral("the HTTP library cannot start")}.post(
            GST_ELEMENT(base));
        return FALSE;
    }
    CURL* curl = state.curl.get();
    curl_easy_setopt(curl, CURLOPT_URL, state.address.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Velmora");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, HttpCameraSource::kConnectSeconds);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 3L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &state);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &state);
    if (state.mode == Mode::Snapshot) {
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, HttpCameraSource::kSnapshotSeconds);
        // An answer that states a larger size is refused before its body comes.
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(PictureLimits::kMaxBytes));
    } else {
        // A stream runs for good; one that goes silent is given up.
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, HttpCameraSource::kSilentSeconds);
    }
    if (!state.user.empty() || !state.password.empty()) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, CURLAUTH_ANY);
        curl_easy_setopt(curl, CURLOPT_USERNAME, state.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, state.password.c_str());
    }
    state.transferring = false;
    state.finished = false;
    state.ended = false;
    state.answer = Answer{};
    state.size = QSize();
    return TRUE;
}

gboolean stop(GstBaseSrc* base)
{
    State& state = stateOf(base);
    if (state.transferring)
        curl_multi_remove_handle(state.multi.get(), state.curl.get());
    state.transferring = false;
    state.answer = Answer{};
    state.curl.reset();
    std::unique_ptr<CURLM, MultiCleanup> multi;
    {
        std::lock_guard lock(state.mutex);
        multi = std::move(state.multi);
    }
    return TRUE;
}

gboolean unlock(GstBaseSrc* base)
{
    State& state = stateOf(base);
    {
        std::lock_guard lock(state.mutex);
        state.flushing = true;
        if (state.multi)
            curl_multi_wakeup(state.multi.get());
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

void begin(State& state)
{
    state.answer = Answer{};
    state.finished = false;
    state.result = CURLE_OK;
    curl_multi_add_handle(state.multi.get(), state.curl.get());
    state.transferring = true;
}

// Moves the request on: reads what arrived, or waits for the network (up to kPollMs) when nothing
// did. False when a stop came.
bool pump(State& state)
{
    int running = 0;
    curl_multi_perform(state.multi.get(), &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(state.multi.get(), &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == state.curl.get()) {
            state.result = message->data.result;
            state.finished = true;
        }
    }
    if (state.finished) {
        curl_multi_remove_handle(state.multi.get(), state.curl.get());
        state.transferring = false;
        return !isFlushing(state);
    }
    if (isFlushing(state))
        return false;
    if (!state.answer.parts || !state.answer.parts->hasNewest())
        curl_multi_poll(state.multi.get(), nullptr, 0, kPollMs, nullptr);
    return !isFlushing(state);
}

GstFlowReturn failWith(GstPushSrc* source, const CameraFault& fault)
{
    fault.post(GST_ELEMENT(source));
    return GST_FLOW_ERROR;
}

// Why an ended request brought no picture; absent when its answer is to be read.
std::optional<CameraFault> requestFault(State& state)
{
    if (state.answer.fault)
        return state.answer.fault;
    if (!state.answer.accepted) {
        // No body came: the status alone says it (a refusal or an error without a page).
        long status = 0;
        curl_easy_getinfo(state.curl.get(), CURLINFO_RESPONSE_CODE, &status);
        if (status > 0)
            if (std::optional<CameraFault> fault = statusFault(status, state.answer.phrase))
                return fault;
    }
    if (state.result != CURLE_OK)
        return transferFault(state.result);
    return std::nullopt;
}

// Checks one picture and hands it on as a frame.
GstFlowReturn deliver(GstPushSrc* source, const QByteArray& data, const QByteArray& type, GstBuffer** buffer)
{
    State& state = stateOf(source);
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    if (const std::optional<CameraFault> fault = PictureLimits::checkJpeg(bytes, size_t(data.size()), type))
        return failWith(source, *fault);
    // The caps state each picture's size, so that the frames need no parsing further on.
    const QSize size = FrameDecoder::jpegSize(bytes, size_t(data.size()));
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
    *buffer = gst_buffer_new_memdup(data.constData(), gsize(data.size()));
    return GST_FLOW_OK;
}

GstFlowReturn createSnapshot(GstPushSrc* source, GstBuffer** buffer)
{
    State& state = stateOf(source);
    {
        std::unique_lock lock(state.mutex);
        state.wake.wait_until(lock, state.nextRequest, [&] { return state.flushing; });
        if (state.flushing)
            return GST_FLOW_FLUSHING;
        state.nextRequest = std::max(Clock::now(), state.nextRequest + state.interval);
    }
    begin(state);
    while (!state.finished) {
        if (!pump(state)) {
            // A request cut short is not taken up again: the next one starts afresh.
            if (state.transferring)
                curl_multi_remove_handle(state.multi.get(), state.curl.get());
            state.transferring = false;
            return GST_FLOW_FLUSHING;
        }
    }
    if (const std::optional<CameraFault> fault = requestFault(state))
        return failWith(source, *fault);
    const QByteArray body = std::exchange(state.answer.body, {});
    return deliver(source, body, state.answer.type, buffer);
}

GstFlowReturn createFromStream(GstPushSrc* source, GstBuffer** buffer)
{
    State& state = stateOf(source);
    for (;;) {
        if (state.ended)
            return GST_FLOW_EOS;
        if (state.answer.parts) {
            if (std::optional<MjpegSplitter::Part> part = state.answer.parts->takeNewest())
                return deliver(source, part->data, part->type, buffer);
        }
        if (state.finished) {
            state.ended = true;
            if (const std::optional<CameraFault> fault = requestFault(state))
                return failWith(source, *fault);
            // An address that answers with one picture: it is the stream's only one.
            if (!state.answer.parts && !state.answer.body.isEmpty())
                return deliver(source, std::exchange(state.answer.body, {}), state.answer.type, buffer);
            return GST_FLOW_EOS;
        }
        if (!state.transferring)
            begin(state);
        if (!pump(state))
            return GST_FLOW_FLUSHING;
    }
}

GstFlowReturn create(GstPushSrc* source, GstBuffer** buffer)
{
    return stateOf(source).mode == Mode::Snapshot ? createSnapshot(source, buffer)
                                                  : createFromStream(source, buffer);
}

// The caps come with the first picture (create), not from what downstream could take.
gboolean negotiate(GstBaseSrc*)
{
    return TRUE;
}

void finalize(GObject* object)
{
    delete reinterpret_cast<VelmoraHttpCameraSrc*>(object)->state;
    G_OBJECT_CLASS(velmora_http_camera_src_parent_class)->finalize(object);
}

GstStaticPadTemplate sourceTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS("image/jpeg"));

void velmora_http_camera_src_class_init(VelmoraHttpCameraSrcClass* klass)
{
    G_OBJECT_CLASS(klass)->finalize = &finalize;
    auto* elementClass = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(elementClass, &sourceTemplate);
    gst_element_class_set_static_metadata(elementClass, "Velmora HTTP camera", "Source/Video/Network",
                                          "Pictures of an HTTP MJPEG stream or snapshot address", "Velmora");
    auto* baseClass = GST_BASE_SRC_CLASS(klass);
    baseClass->start = &start;
    baseClass->stop = &stop;
    baseClass->unlock = &unlock;
    baseClass->unlock_stop = &unlockStop;
    baseClass->negotiate = &negotiate;
    GST_PUSH_SRC_CLASS(klass)->create = &create;
}

void velmora_http_camera_src_init(VelmoraHttpCameraSrc* self)
{
    self->state = new State;
    gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
    gst_base_src_set_do_timestamp(GST_BASE_SRC(self), TRUE);
}
} // namespace

namespace HttpCameraSource {
GstElement* create(const char* name, Mode mode, const QString& address, const QString& user,
                   const QString& password, int intervalMs)
{
    auto* element = static_cast<VelmoraHttpCameraSrc*>(
        g_object_new(velmora_http_camera_src_get_type(), "name", name, nullptr));
    State& state = *element->state;
    state.mode = mode;
    state.address = address.toStdString();
    state.user = user.toStdString();
    state.password = password.toStdString();
    state.interval = std::chrono::milliseconds(intervalMs);
    return GST_ELEMENT(element);
}
} // namespace HttpCameraSource
