#include "capture/FrameDecoder.h"

#include "capture/PictureLimits.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace {
struct JpegError
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void jumpOnError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

void ignoreMessage(j_common_ptr, int) {}

// Decodes into image's rows; false when the data is no JPEG of the image's size. Kept free of C++
// objects, as libjpeg leaves by longjmp on errors.
bool decodeJpeg(const unsigned char* data, unsigned long size, QImage& image)
{
    jpeg_decompress_struct info{};
    JpegError error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jumpOnError;
    error.manager.emit_message = ignoreMessage;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, size);
    jpeg_read_header(&info, TRUE);
    // Camera MJPEG often leaves out the standard Huffman tables; libjpeg-turbo supplies them.
    info.out_color_space = JCS_EXT_BGRX;
    info.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&info);
    if (int(info.output_width) != image.width() || int(info.output_height) != image.height()) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.scanLine(int(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

void releaseSample(void* sample)
{
    gst_sample_unref(static_cast<GstSample*>(sample));
}
} // namespace

FrameDecoder::~FrameDecoder()
{
    if (m_converter)
        gst_video_converter_free(m_converter);
}

Result<QImage> FrameDecoder::toImage(GstSample* sample)
{
    GstCaps* caps = sample ? gst_sample_get_caps(sample) : nullptr;
    GstBuffer* buffer = sample ? gst_sample_get_buffer(sample) : nullptr;
    if (!caps || !buffer || gst_caps_get_size(caps) == 0) {
        return Failure::of(Failure::Kind::Invalid, QStringLiteral("the picture cannot be read"));
    }
    const GstStructure* structure = gst_caps_get_structure(caps, 0);
    if (gst_structure_has_name(structure, "image/jpeg")) {
        int width = 0;
        int height = 0;
        gst_structure_get_int(structure, "width", &width);
        gst_structure_get_int(structure, "height", &height);
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            return Failure::of(Failure::Kind::Invalid, QStringLiteral("the picture cannot be read"));
        }
        // The header states what a decoder makes of it, whatever the caps say.
        const QSize stated = jpegSize(map.data, map.size);
        if (!stated.isEmpty()) {
            width = stated.width();
            height = stated.height();
        }
        if (!PictureLimits::allowed(QSize(width, height))) {
            gst_buffer_unmap(buffer, &map);
            return Failure::of(Failure::Kind::TooLarge,
                               QStringLiteral("the picture is too large (%1)")
                                   .arg(PictureLimits::sizeText(QSize(width, height))));
        }
        QImage image(width, height, QImage::Format_RGB32);
        const bool decoded = !image.isNull() && decodeJpeg(map.data, map.size, image);
        gst_buffer_unmap(buffer, &map);
        if (!decoded) {
            return Failure::of(Failure::Kind::Invalid,
                               QStringLiteral("the camera sent a picture that cannot be decoded"));
        }
        return image;
    }
    GstVideoInfo info;
    if (!gst_video_info_from_caps(&info, caps)) {
        return Failure::of(Failure::Kind::Invalid, QStringLiteral("the picture cannot be read"));
    }
    if (!PictureLimits::allowed(QSize(info.width, info.height))) {
        return Failure::of(Failure::Kind::TooLarge,
                           QStringLiteral("the picture is too large (%1)")
                               .arg(PictureLimits::sizeText(QSize(info.width, info.height))));
    }
    if (GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_BGRx) {
        GstVideoFrame frame;
        if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
            return Failure::of(Failure::Kind::Invalid, QStringLiteral("the picture cannot be read"));
        }
        // The image keeps the sample alive; the mapping is only needed for the address.
        const QImage image(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)), info.width,
                           info.height, GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), QImage::Format_RGB32,
                           releaseSample, gst_sample_ref(sample));
        gst_video_frame_unmap(&frame);
        return image;
    }
    return fromRaw(info, buffer);
}

QSize FrameDecoder::jpegSize(const uchar* data, size_t size)
{
    if (size < 4 || data[0] != 0xff || data[1] != 0xd8)
        return {};
    size_t at = 2;
    while (at + 4 <= size) {
        if (data[at] != 0xff)
            return {};
        const uchar marker = data[at + 1];
        at += 2;
        if (marker == 0xff) { // fill byte
            --at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd8)) // markers without a length
            continue;
        const size_t length = size_t(data[at]) << 8 | data[at + 1];
        if (length < 2 || marker == 0xda) // a scan before any frame header
            return {};
        const bool frameHeader =
            marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
        if (frameHeader) {
            if (at + 7 > size)
                return {};
            const int height = data[at + 3] << 8 | data[at + 4];
            const int width = data[at + 5] << 8 | data[at + 6];
            return width > 0 && height > 0 ? QSize(width, height) : QSize();
        }
        at += length;
    }
    return {};
}

Result<QImage> FrameDecoder::fromRaw(const GstVideoInfo& info, GstBuffer* buffer)
{
    QImage image(info.width, info.height, QImage::Format_RGB32);
    if (image.isNull()) {
        return Failure::of(Failure::Kind::Invalid, QStringLiteral("the picture cannot be read"));
    }
    GstVideoInfo output;
    gst_video_info_set_format(&output, GST_VIDEO_FORMAT_BGRx, guint(info.width), guint(info.height));
    // The converter refuses to change the frame rate, which a still does not have anyway.
    output.fps_n = info.fps_n;
    output.fps_d = info.fps_d;
    output.stride[0] = int(image.bytesPerLine());
    output.size = gsize(image.sizeInBytes());
    GstPtr<GstBuffer> target(gst_buffer_new_wrapped_full(GstMemoryFlags(0), image.bits(), output.size, 0,
                                                         output.size, nullptr, nullptr));
    GstVideoFrame in;
    GstVideoFrame out;
    if (!gst_video_frame_map(&in, &info, buffer, GST_MAP_READ)) {
        return Failure::of(Failure::Kind::Invalid, QStringLiteral("the picture cannot be read"));
    }
    if (!gst_video_frame_map(&out, &output, target.get(), GST_MAP_WRITE)) {
        gst_video_frame_unmap(&in);
        return Failure::of(Failure::Kind::Invalid, QStringLiteral("the picture cannot be read"));
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_converter && !gst_video_info_is_equal(&m_converterInput, &info)) {
            gst_video_converter_free(m_converter);
            m_converter = nullptr;
        }
        if (!m_converter) {
            m_converter = gst_video_converter_new(const_cast<GstVideoInfo*>(&info), &output, nullptr);
            m_converterInput = info;
        }
        if (m_converter)
            gst_video_converter_frame(m_converter, &in, &out);
    }
    gst_video_frame_unmap(&out);
    gst_video_frame_unmap(&in);
    if (!m_converter) {
        return Failure::of(Failure::Kind::Unsupported, QStringLiteral("the picture cannot be converted"));
    }
    return image;
}
