#include "upload/JpegWriter.h"

#include "common/Prompter.h"
#include "imaging/cDIBSection.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
// The error codes and exits for our own destination manager.
#include <jerror.h>

namespace {

const QString kSaveFailed = QStringLiteral("Failed to save to JPG");

struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void jumpOnError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void ignoreMessage(j_common_ptr, int) {}
void ignoreOutput(j_common_ptr) {}

// Owns the compressor; destroyed on every path, also after an error jumped out of libjpeg.
struct Compressor
{
    jpeg_compress_struct cinfo{};
    ErrorManager error{};
    bool created = false;

    Compressor() = default;
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;
    ~Compressor()
    {
        if (created)
            jpeg_destroy_compress(&cinfo);
    }
};

// libjpeg's destination: the encoded bytes in memory of our own, which stays valid and is freed
// on every path, also after an error jumped out of libjpeg.
struct MemoryOutput
{
    jpeg_destination_mgr pub{}; // first, so libjpeg's pointer to it is a pointer to the whole
    unsigned char* bytes = nullptr;
    std::size_t capacity = 0;
    std::size_t size = 0;

    MemoryOutput()
    {
        pub.init_destination = &MemoryOutput::start;
        pub.empty_output_buffer = &MemoryOutput::grow;
        pub.term_destination = &MemoryOutput::finish;
    }
    MemoryOutput(const MemoryOutput&) = delete;
    MemoryOutput& operator=(const MemoryOutput&) = delete;
    ~MemoryOutput() { std::free(bytes); }

    static MemoryOutput& of(j_compress_ptr cinfo) { return *reinterpret_cast<MemoryOutput*>(cinfo->dest); }
    void resize(j_compress_ptr cinfo, std::size_t wanted)
    {
        auto* larger = static_cast<unsigned char*>(std::realloc(bytes, wanted));
        if (!larger)
            ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
        bytes = larger;
        capacity = wanted;
    }
    static void start(j_compress_ptr cinfo)
    {
        MemoryOutput& out = of(cinfo);
        out.resize(cinfo, 64 * 1024);
        out.pub.next_output_byte = out.bytes;
        out.pub.free_in_buffer = out.capacity;
    }
    // Called when the whole buffer is full.
    static boolean grow(j_compress_ptr cinfo)
    {
        MemoryOutput& out = of(cinfo);
        const std::size_t used = out.capacity;
        out.resize(cinfo, used * 2);
        out.pub.next_output_byte = out.bytes + used;
        out.pub.free_in_buffer = out.capacity - used;
        return TRUE;
    }
    static void finish(j_compress_ptr cinfo)
    {
        MemoryOutput& out = of(cinfo);
        out.size = out.capacity - out.pub.free_in_buffer;
    }
};

enum class EncodeResult { Ok, InitFailed, Failed };

// libjpeg reports errors by jumping back here, so this frame holds nothing that needs destroying:
// the compressor, the file and the row pointers belong to the caller.
EncodeResult encode(Compressor& c, MemoryOutput& out, const cDIBSection& dib, int quality, JSAMPROW* rows)
{
    c.cinfo.err = jpeg_std_error(&c.error.pub);
    c.error.pub.error_exit = jumpOnError;
    c.error.pub.emit_message = ignoreMessage;
    c.error.pub.output_message = ignoreOutput;
    if (setjmp(c.error.jump))
        return c.created ? EncodeResult::Failed : EncodeResult::InitFailed;
    jpeg_create_compress(&c.cinfo);
    c.created = true;

    c.cinfo.dest = &out.pub;
    c.cinfo.image_width = static_cast<JDIMENSION>(dib.dib_width());
    c.cinfo.image_height = static_cast<JDIMENSION>(dib.dib_height());
    const bool fourChannels = dib.dib_channels() == 4;
    c.cinfo.input_components = fourChannels ? 4 : 3;
    c.cinfo.in_color_space = fourChannels ? JCS_EXT_BGRX : JCS_EXT_BGR;
    // The defaults are baseline YCbCr with the luminance sampled 2 x 2, i.e. chroma 4:2:0.
    jpeg_set_defaults(&c.cinfo);
    jpeg_set_colorspace(&c.cinfo, JCS_YCbCr);
    c.cinfo.comp_info[0].h_samp_factor = 2;
    c.cinfo.comp_info[0].v_samp_factor = 2;
    jpeg_set_quality(&c.cinfo, quality, TRUE);

    jpeg_start_compress(&c.cinfo, TRUE);
    while (c.cinfo.next_scanline < c.cinfo.image_height) {
        const JDIMENSION done = c.cinfo.next_scanline;
        jpeg_write_scanlines(&c.cinfo, rows + done, c.cinfo.image_height - done);
    }
    jpeg_finish_compress(&c.cinfo);
    return EncodeResult::Ok;
}

} // namespace

std::optional<int> DibPadBytes(int width, int channels)
{
    const std::int64_t n = std::int64_t{width} * channels;
    if (n < 0 || n > INT32_MAX)
        return std::nullopt;
    return static_cast<int>((n + 3) / 4 * 4 - n);
}

void ShowJpegError(const Failure& failure, Prompter& prompter)
{
    const QString text = failure.code == kJpegInitFailed
                             ? QStringLiteral("Failed to initialise the IJL library")
                             : kSaveFailed;
    prompter.message(QStringLiteral("IJL ERROR: [%1] - %2").arg(failure.code).arg(text),
                     Prompter::Icon::Exclamation, Prompter::Buttons::Ok, QStringLiteral("JPEG Library"));
}

Result<QByteArray> EncodeJpeg(const cDIBSection& dib, int quality)
{
    const int width = dib.dib_width();
    const int height = dib.dib_height();
    const std::uint8_t* bits = dib.DIBSectionBitsPtr();
    const std::optional<int> pad = DibPadBytes(width, dib.dib_channels());
    if (!bits || width <= 0 || height <= 0 || !pad)
        return Failure::of(Failure::Kind::Invalid, QStringLiteral("There is no picture to make into a JPEG"),
                           kJpegNoPicture);

    // The top row of the picture is the last row in memory: point the rows at the buffer upright.
    const std::size_t stride = static_cast<std::size_t>(width) * dib.dib_channels() + *pad;
    std::vector<JSAMPROW> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        rows[static_cast<std::size_t>(y)] = const_cast<JSAMPROW>(bits + (height - 1 - y) * stride);

    Compressor compressor;
    MemoryOutput output;
    switch (encode(compressor, output, dib, std::clamp(quality, 0, 100), rows.data())) {
    case EncodeResult::InitFailed:
        return Failure::of(Failure::Kind::Internal, QStringLiteral("The JPEG encoder could not be set up"),
                           kJpegInitFailed);
    case EncodeResult::Failed:
        return Failure::of(Failure::Kind::Internal, QStringLiteral("The JPEG encoder stopped with an error"),
                           kJpegEncodeFailed);
    case EncodeResult::Ok:
        break;
    }
    return QByteArray(reinterpret_cast<const char*>(output.bytes), static_cast<qsizetype>(output.size));
}

Result<void> WriteJpeg(const QByteArray& jpeg, const QString& path, const FileWriter& writer)
{
    Result<void> result = writer.write(path, jpeg);
    if (result)
        return result;
    int code = kJpegWriteFailed;
    switch (FileWriter::stepOf(result)) {
    case FileWriter::Step::None:
    case FileWriter::Step::Write:
        break;
    case FileWriter::Step::Create:
        code = kJpegCannotCreate;
        break;
    case FileWriter::Step::Replace:
        code = kJpegCannotReplace;
        break;
    }
    return Failure::of(result.failure().kind, result.failure().sentence, code);
}

Result<void> SaveJpeg(const cDIBSection& dib, const QString& path, int quality)
{
    const Result<QByteArray> jpeg = EncodeJpeg(dib, quality);
    if (!jpeg)
        return jpeg.failure();
    return WriteJpeg(*jpeg, path, FileWriter());
}
