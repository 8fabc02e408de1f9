#include "upload/JpegWriter.h"

#include "common/Prompter.h"
#include "imaging/cDIBSection.h"

#include <QFile>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

namespace {

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

// The temporary file beside the target: removed unless it was renamed over the target.
class TemporaryOutput
{
public:
    explicit TemporaryOutput(const QByteArray& target) : m_name(target + ".XXXXXX")
    {
        const int fd = mkstemp(m_name.data());
        if (fd < 0)
            return;
        // mkstemp makes the file private; a picture gets the usual mode of a new file.
        fchmod(fd, 0644);
        m_file = fdopen(fd, "wb");
        if (!m_file) {
            close(fd);
            unlink(m_name.constData());
        }
    }
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;
    ~TemporaryOutput()
    {
        if (m_file)
            std::fclose(m_file);
        if (m_file || m_closed)
            unlink(m_name.constData());
    }

    FILE* file() const { return m_file; }

    bool closeAndRename(const QByteArray& target)
    {
        const bool written = std::fflush(m_file) == 0 && !std::ferror(m_file);
        const bool closed = std::fclose(m_file) == 0;
        m_file = nullptr;
        m_closed = true;
        if (!written || !closed || std::rename(m_name.constData(), target.constData()) != 0)
            return false;
        m_closed = false;
        return true;
    }

private:
    QByteArray m_name;
    FILE* m_file = nullptr;
    bool m_closed = false;
};

enum class EncodeResult { Ok, InitFailed, Failed };

// libjpeg reports errors by jumping back here, so this frame holds nothing that needs destroying:
// the compressor, the file and the row pointers belong to the caller.
EncodeResult encode(Compressor& c, FILE* out, const cDIBSection& dib, int quality, JSAMPROW* rows)
{
    c.cinfo.err = jpeg_std_error(&c.error.pub);
    c.error.pub.error_exit = jumpOnError;
    c.error.pub.emit_message = ignoreMessage;
    c.error.pub.output_message = ignoreOutput;
    if (setjmp(c.error.jump))
        return c.created ? EncodeResult::Failed : EncodeResult::InitFailed;
    jpeg_create_compress(&c.cinfo);
    c.created = true;

    jpeg_stdio_dest(&c.cinfo, out);
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

void ShowJpegError(const QString& text, int code, Prompter& prompter)
{
    prompter.message(QStringLiteral("IJL ERROR: [%1] - %2").arg(code).arg(text), Prompter::Icon::Exclamation,
                     Prompter::Buttons::Ok, QStringLiteral("JPEG Library"));
}

bool SaveJpeg(const cDIBSection& dib, const QString& path, int quality, Prompter& prompter)
{
    const QString saveFailed = QStringLiteral("Failed to save to JPG");
    const int width = dib.dib_width();
    const int height = dib.dib_height();
    const std::uint8_t* bits = dib.DIBSectionBitsPtr();
    const std::optional<int> pad = DibPadBytes(width, dib.dib_channels());
    if (!bits || width <= 0 || height <= 0 || !pad) {
        ShowJpegError(saveFailed, kJpegNoPicture, prompter);
        return false;
    }

    // The top row of the picture is the last row in memory: point the rows at the buffer upright.
    const std::size_t stride = static_cast<std::size_t>(width) * dib.dib_channels() + *pad;
    std::vector<JSAMPROW> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        rows[static_cast<std::size_t>(y)] = const_cast<JSAMPROW>(bits + (height - 1 - y) * stride);

    const QByteArray target = QFile::encodeName(path);
    TemporaryOutput output(target);
    if (!output.file()) {
        ShowJpegError(saveFailed, kJpegCannotCreate, prompter);
        return false;
    }
    Compressor compressor;
    switch (encode(compressor, output.file(), dib, std::clamp(quality, 0, 100), rows.data())) {
    case EncodeResult::InitFailed:
        ShowJpegError(QStringLiteral("Failed to initialise the IJL library"), kJpegInitFailed, prompter);
        return false;
    case EncodeResult::Failed:
        ShowJpegError(saveFailed, kJpegEncodeFailed, prompter);
        return false;
    case EncodeResult::Ok:
        break;
    }
    if (!output.closeAndRename(target)) {
        ShowJpegError(saveFailed, kJpegCannotReplace, prompter);
        return false;
    }
    return true;
}
