#include "capture/CameraFault.h"
#include "capture/FrameDecoder.h"
#include "capture/FrameHandoff.h"
#include "capture/GstInit.h"
#include "capture/MjpegSplitter.h"
#include "capture/PictureLimits.h"

#include "JpegBytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

// What a camera sends is checked before anything decodes it: the parts of an MJPEG stream, the
// size a JPEG states, and the words every fault is reported in.
static void PrintTo(const CameraFault& fault, std::ostream* out)
{
    *out << int(fault.kind) << " \"" << fault.detail.toStdString() << '"';
}

namespace {
using Kind = CameraFault::Kind;

QByteArray pngBytes()
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Three pictures of their own, as a camera's stream would carry them.
const std::vector<QByteArray>& pictures()
{
    static const std::vector<QByteArray> made{JpegBytes::of({64, 48}, Qt::red),
                                              JpegBytes::of({64, 48}, Qt::green),
                                              JpegBytes::of({32, 24}, Qt::blue)};
    return made;
}

// Feeds the stream in chunks of that size and collects every picture as soon as it is complete.
std::vector<QByteArray> split(MjpegSplitter& splitter, const QByteArray& stream, qsizetype chunk)
{
    std::vector<QByteArray> parts;
    for (qsizetype at = 0; at < stream.size(); at += chunk) {
        EXPECT_TRUE(splitter.feed(stream.constData() + at, size_t(std::min(chunk, stream.size() - at))))
            << (splitter.fault() ? splitter.fault()->sentence("x").toStdString() : std::string());
        if (std::optional<MjpegSplitter::Part> part = splitter.takeNewest())
            parts.push_back(part->data);
    }
    return parts;
}

// The ways cameras write their streams: each gives the pictures in order, whatever the chunks the
// network cuts them into; fed at once, the newest is what is left.
TEST(MjpegSplitterTest, PicturesComeOutWhateverTheCamerasHabitsAndTheChunks)
{
    struct Habit
    {
        const char* label;
        const char* contentType;
        QByteArray (*part)(const QByteArray& picture);
        const char* closing;
    };
    const Habit habits[] = {
        {"lengths and CRLF", "multipart/x-mixed-replace; boundary=frame",
         [](const QByteArray& p) {
             return "--frame\r\nContent-Type: image/jpeg\r\nContent-Length: " + QByteArray::number(p.size()) +
                    "\r\n\r\n" + p + "\r\n";
         },
         "--frame--\r\n"},
        {"boundary declared with its dashes", "multipart/x-mixed-replace;boundary=--myboundary",
         [](const QByteArray& p) { return "--myboundary\r\nContent-Type: image/jpeg\r\n\r\n" + p + "\r\n"; },
         ""},
        {"quoted boundary, no lengths, LF only", "multipart/x-mixed-replace; boundary=\"abc\"",
         [](const QByteArray& p) { return "--abc\ncontent-type: image/jpeg\n\n" + p + "\n"; }, "--abc--\n"},
        {"no boundary declared", "multipart/x-mixed-replace",
         [](const QByteArray& p) {
             return "--ipcamera\r\nContent-Length: " + QByteArray::number(p.size()) + "\r\n\r\n" + p;
         },
         ""},
        {"parts without headers", "multipart/x-mixed-replace; boundary=frame",
         [](const QByteArray& p) { return "--frame\r\n" + p + "\r\n"; }, ""},
    };
    for (const Habit& habit : habits) {
        SCOPED_TRACE(habit.label);
        QByteArray stream = "This is a multi-part message.\r\n";
        for (const QByteArray& picture : pictures())
            stream += habit.part(picture);
        // Without a closing delimiter a part without length ends where the next one starts.
        stream += *habit.closing ? QByteArray(habit.closing) : habit.part(pictures().front()).left(12);
        for (const qsizetype chunk : {qsizetype(1), qsizetype(7), qsizetype(1000), stream.size()}) {
            SCOPED_TRACE(chunk);
            MjpegSplitter splitter(MjpegSplitter::boundaryOf(habit.contentType));
            const std::vector<QByteArray> parts = split(splitter, stream, chunk);
            if (chunk == stream.size()) {
                ASSERT_EQ(parts.size(), 1u);
                EXPECT_EQ(parts.front(), pictures().back());
            } else {
                EXPECT_EQ(parts, pictures());
            }
            EXPECT_EQ(splitter.ended(), *habit.closing != 0);
            EXPECT_FALSE(splitter.fault());
        }
    }
}

// A stream that breaks a limit is refused from what it states, before the bytes it announces come,
// and never holds more than one picture's worth.
TEST(MjpegSplitterTest, LimitsAreCheckedBeforeTheBytesCome)
{
    const QByteArray tooLarge = PictureLimits::bytesText().toUtf8();
    struct Row
    {
        const char* label;
        QByteArray stream;
        Kind kind;
        QString detail;
    };
    const QByteArray head = "--frame\r\nContent-Type: image/jpeg\r\n";
    const Row rows[] = {
        {"a length of 4 GB", head + "Content-Length: 4000000000\r\n\r\n\xff\xd8", Kind::TooLarge,
         PictureLimits::bytesText()},
        {"a length too long to read", head + "Content-Length: 99999999999999999999999\r\n\r\n",
         Kind::TooLarge, PictureLimits::bytesText()},
        {"a part of 33 MB without length", head + "\r\n\xff\xd8" + QByteArray(33 << 20, '\xab'),
         Kind::TooLarge, PictureLimits::bytesText()},
        {"a login page", "--frame\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<html>", Kind::NotAPicture,
         "text/html"},
        {"endless headers", "--frame\r\n" + QByteArray(20000, 'x'), Kind::NotAPicture,
         "no pictures in the stream"},
        {"no delimiter at all", QByteArray(100000, 'x'), Kind::NotAPicture, "no pictures in the stream"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        MjpegSplitter splitter(MjpegSplitter::boundaryOf("multipart/x-mixed-replace; boundary=frame"));
        bool refused = false;
        size_t most = 0;
        for (qsizetype at = 0; at < row.stream.size() && !refused; at += 16384) {
            refused = !splitter.feed(row.stream.constData() + at,
                                     size_t(std::min<qsizetype>(16384, row.stream.size() - at)));
            most = std::max(most, splitter.held());
        }
        ASSERT_TRUE(refused);
        ASSERT_TRUE(splitter.fault());
        EXPECT_EQ(*splitter.fault(), (CameraFault{row.kind, row.detail}));
        EXPECT_LE(most, PictureLimits::kMaxBytes + 16384);
        EXPECT_EQ(splitter.held(), 0u);
        EXPECT_FALSE(splitter.feed("--frame\r\n", 9));
    }
}

// Only a JPEG within the limits may be decoded; the rest says why not.
TEST(PictureLimitsTest, OnlyJpegsWithinTheLimitsMayBeDecoded)
{
    const QByteArray jpeg = JpegBytes::of({320, 240});
    const QByteArray page = "<html><body>Login</body></html>";
    struct Row
    {
        const char* label;
        QByteArray bytes;
        QByteArray type;
        std::optional<CameraFault> fault;
    };
    const Row rows[] = {
        {"a JPEG", jpeg, "image/jpeg", std::nullopt},
        {"a JPEG of no stated type", jpeg, "", std::nullopt},
        {"a JPEG as octets", jpeg, "application/octet-stream", std::nullopt},
        {"8192 x 8192", JpegBytes::stating(jpeg, {8192, 8192}), "image/jpeg", std::nullopt},
        {"16384 x 4096", JpegBytes::stating(jpeg, {16384, 4096}), "image/jpeg", std::nullopt},
        {"a page said to be text", jpeg, "text/html; charset=UTF-8",
         CameraFault{Kind::NotAPicture, "text/html"}},
        {"a page of no stated type", page, "", CameraFault{Kind::NotAPicture, "no JPEG data"}},
        {"a PNG", pngBytes(), "image/png", CameraFault{Kind::NotAPicture, "image/png"}},
        {"60000 x 60000", JpegBytes::stating(jpeg, {60000, 60000}), "image/jpeg",
         CameraFault{Kind::TooLarge, "60000 x 60000"}},
        {"16385 wide", JpegBytes::stating(jpeg, {16385, 100}), "image/jpeg",
         CameraFault{Kind::TooLarge, "16385 x 100"}},
        {"more than 64 megapixels", JpegBytes::stating(jpeg, {16384, 8192}), "image/jpeg",
         CameraFault{Kind::TooLarge, "16384 x 8192"}},
        {"a JPEG without a frame header", jpeg.left(20), "image/jpeg", CameraFault{Kind::Undecodable}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(PictureLimits::checkJpeg(reinterpret_cast<const uchar*>(row.bytes.constData()),
                                           size_t(row.bytes.size()), row.type),
                  row.fault);
    }
    const QByteArray huge(qsizetype(PictureLimits::kMaxBytes) + 1, '\xff');
    EXPECT_EQ(
        PictureLimits::checkJpeg(reinterpret_cast<const uchar*>(huge.constData()), size_t(huge.size()), ""),
        (CameraFault{Kind::TooLarge, "more than 32 MB"}));
}

// One set of words for every camera, whichever part of the program found the fault; it travels on
// the bus as an error of its own.
TEST(CameraFaultTest, EveryReasonReadsTheSameWhereverItCameFrom)
{
    struct Row
    {
        CameraFault fault;
        bool withLogin;
        const char* sentence;
    };
    const Row rows[] = {
        {{Kind::HttpStatus, CameraFault::statusText("HTTP", 500, "Oops")},
         true,
         "the camera \"Yard\" answered HTTP 500 (Internal Server Error)"},
        {{Kind::HttpStatus, CameraFault::statusText("RTSP", 404)},
         true,
         "the camera \"Yard\" answered RTSP 404 (Not Found)"},
        {{Kind::HttpStatus, CameraFault::statusText("HTTP", 599, "Odd\x01\tthing  ")},
         true,
         "the camera \"Yard\" answered HTTP 599 (Oddthing)"},
        {{Kind::HttpStatus, CameraFault::statusText("HTTP", 599)},
         true,
         "the camera \"Yard\" answered HTTP 599"},
        {{Kind::NotAPicture, "text/html"},
         true,
         "the answer of the camera \"Yard\" is not a picture (text/html)"},
        {{Kind::NotAPicture, "image/png"},
         true,
         "the answer of the camera \"Yard\" is not a JPEG picture (image/png)"},
        {{Kind::TooLarge, "60000 x 60000"},
         true,
         "the picture of the camera \"Yard\" is too large (60000 x 60000)"},
        {{Kind::LoginRefused}, true, "the camera \"Yard\" refused the user name or password"},
        {{Kind::LoginRefused}, false, "the camera \"Yard\" asks for a user name and password"},
        {{Kind::NoAnswer}, true, "the camera \"Yard\" does not answer"},
        {{Kind::Unreachable}, true, "the camera \"Yard\" cannot be reached"},
        {{Kind::Unreachable, "unknown host name"},
         true,
         "the camera \"Yard\" cannot be reached (unknown host name)"},
        {{Kind::Undecodable}, true, "the camera \"Yard\" sent a picture that cannot be decoded"},
        {{Kind::NoDecoder}, true, "the camera \"Yard\" sends video that no installed decoder reads"},
    };
    ensureGstInitialized();
    auto* element =
        static_cast<GstElement*>(gst_object_ref_sink(gst_element_factory_make("fakesrc", "source")));
    GstBus* bus = gst_bus_new();
    gst_element_set_bus(element, bus);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.sentence);
        EXPECT_EQ(row.fault.sentence("Yard", row.withLogin), row.sentence);
        row.fault.post(element);
        GstMessage* message = gst_bus_pop(bus);
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(CameraFault::fromMessage(message), row.fault);
        // The error's own text (GStreamer's log, a movie's failure) names no camera.
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        ASSERT_NE(error, nullptr);
        QString words = row.fault.sentenceAbout("the camera", row.withLogin);
        words[0] = words[0].toUpper();
        if (row.withLogin) {
            EXPECT_EQ(QString::fromUtf8(error->message), words);
        }
        g_error_free(error);
        gst_message_unref(message);
    }
    // An error of another element is no fault of ours.
    GST_ELEMENT_ERROR(element, RESOURCE, READ, ("Could not read from resource."), (nullptr));
    GstMessage* other = gst_bus_pop(bus);
    ASSERT_NE(other, nullptr);
    EXPECT_FALSE(CameraFault::fromMessage(other));
    gst_message_unref(other);
    gst_element_set_bus(element, nullptr);
    gst_object_unref(bus);
    gst_object_unref(element);
}

// The gate in front of the decoder refuses a frame whose header states a size beyond the limits
// (a camera's own MJPEG as much as a network camera's), says so once, and never counts it as a
// picture; stills decoded from a frame refuse it too.
TEST(PictureLimitsTest, TheGateAndTheStillDecoderRefuseAGiantFrame)
{
    ensureGstInitialized();
    auto* pad = static_cast<GstPad*>(gst_object_ref_sink(gst_pad_new("src", GST_PAD_SRC)));
    gst_pad_set_active(pad, TRUE);
    gst_pad_store_sticky_event(pad, gst_event_new_stream_start("camera"));
    GstCaps* caps = gst_caps_from_string("image/jpeg,framerate=30/1");
    GstEvent* capsEvent = gst_event_new_caps(caps);
    gst_pad_store_sticky_event(pad, capsEvent);
    gst_event_unref(capsEvent);
    const auto buffer = [](const QByteArray& bytes) {
        return GstPtr<GstBuffer>(gst_buffer_new_memdup(bytes.constData(), gsize(bytes.size())));
    };
    const QByteArray normal = JpegBytes::of({64, 48});
    const QByteArray giant = JpegBytes::stating(normal, {60000, 60000});

    FrameHandoff frames;
    frames.setDecodeAll(true);
    EXPECT_FALSE(frames.admit(pad, buffer(giant).get()));
    EXPECT_EQ(frames.takeRefusal(), (CameraFault{Kind::TooLarge, "60000 x 60000"}));
    EXPECT_FALSE(frames.admit(pad, buffer(giant).get()));
    EXPECT_FALSE(frames.takeRefusal());
    EXPECT_EQ(frames.sourceBuffers(), 0u);
    EXPECT_TRUE(frames.admit(pad, buffer(normal).get()));
    EXPECT_EQ(frames.sourceBuffers(), 1u);
    EXPECT_EQ(frames.size(), QSize(64, 48));

    GstPtr<GstSample> sample(gst_sample_new(buffer(giant).get(), caps, nullptr, nullptr));
    FrameDecoder decoder;
    const Result<QImage> tooLarge = decoder.toImage(sample.get());
    ASSERT_FALSE(tooLarge.ok());
    EXPECT_EQ(tooLarge.failure().kind, Failure::Kind::TooLarge);
    EXPECT_EQ(tooLarge.failure().sentence, "the picture is too large (60000 x 60000)");
    GstPtr<GstSample> fine(gst_sample_new(buffer(normal).get(), caps, nullptr, nullptr));
    const Result<QImage> decoded = decoder.toImage(fine.get());
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(decoded->size(), QSize(64, 48));
    gst_caps_unref(caps);
    gst_pad_set_active(pad, FALSE);
    gst_object_unref(pad);
}
} // namespace
