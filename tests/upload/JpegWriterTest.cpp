#include "upload/JpegWriter.h"

#include "ScriptedPrompter.h"
#include "TempDir.h"
#include "imaging/cDIBSection.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <climits>
#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <sys/resource.h>

#include <jpeglib.h>

namespace {

// A decoded JPEG with what its frame header says about components and sampling.
struct Decoded
{
    bool ok = false;
    int width = 0;
    int height = 0;
    int components = 0;
    J_COLOR_SPACE colorSpace = JCS_UNKNOWN;
    int sampling[3][2] = {};
    std::vector<unsigned char> rgb;

    QRgb at(int x, int y) const
    {
        const unsigned char* p = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
        return qRgb(p[0], p[1], p[2]);
    }
};

struct DecodeError
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

Decoded decodeJpeg(const QString& path)
{
    Decoded out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out;
    const QByteArray bytes = file.readAll();
    jpeg_decompress_struct cinfo{};
    DecodeError err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = [](j_common_ptr c) {
        std::longjmp(reinterpret_cast<DecodeError*>(c->err)->jump, 1);
    };
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        out.ok = false;
        return out;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    out.components = cinfo.num_components;
    out.colorSpace = cinfo.jpeg_color_space;
    for (int i = 0; i < cinfo.num_components && i < 3; ++i) {
        out.sampling[i][0] = cinfo.comp_info[i].h_samp_factor;
        out.sampling[i][1] = cinfo.comp_info[i].v_samp_factor;
    }
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    out.rgb.resize(static_cast<std::size_t>(out.width) * out.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.rgb.data() + static_cast<std::size_t>(cinfo.output_scanline) * out.width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    out.ok = true;
    return out;
}

// Sets picture pixel (x, y), row 0 at the top, in the DIB section's bottom-up memory.
void setPixel(cDIBSection& dib, int x, int y, QRgb colour)
{
    std::uint8_t* p = dib.DIBSectionBitsPtr() +
                      static_cast<std::size_t>(dib.dib_height() - 1 - y) * dib.BytesPerScanLine() +
                      x * dib.dib_channels();
    p[0] = static_cast<std::uint8_t>(qBlue(colour));
    p[1] = static_cast<std::uint8_t>(qGreen(colour));
    p[2] = static_cast<std::uint8_t>(qRed(colour));
}

const QRgb kTop = qRgb(200, 30, 40);
const QRgb kBottom = qRgb(20, 60, 220);

void fillHalves(cDIBSection& dib)
{
    for (int y = 0; y < dib.dib_height(); ++y)
        for (int x = 0; x < dib.dib_width(); ++x)
            setPixel(dib, x, y, y < dib.dib_height() / 2 ? kTop : kBottom);
}

void fillNoise(cDIBSection& dib)
{
    std::uint32_t state = 12345;
    for (int y = 0; y < dib.dib_height(); ++y)
        for (int x = 0; x < dib.dib_width(); ++x) {
            state = state * 1103515245u + 12345u;
            setPixel(dib, x, y, qRgb((state >> 8) & 0xff, (state >> 16) & 0xff, (x * 3 + y) & 0xff));
        }
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

void expectHalves(const Decoded& jpeg, int width, int height)
{
    ASSERT_TRUE(jpeg.ok);
    EXPECT_EQ(jpeg.width, width);
    EXPECT_EQ(jpeg.height, height);
    EXPECT_EQ(jpeg.components, 3);
    EXPECT_EQ(jpeg.colorSpace, JCS_YCbCr);
    EXPECT_EQ(jpeg.sampling[0][0], 2);
    EXPECT_EQ(jpeg.sampling[0][1], 2);
    EXPECT_EQ(jpeg.sampling[1][0], 1);
    EXPECT_EQ(jpeg.sampling[2][1], 1);
    // Away from the edge between the halves, where chroma subsampling blurs.
    for (int x : {0, width / 2, width - 1}) {
        for (int y = 0; y < height / 2 - 8; ++y)
            ASSERT_TRUE(near(jpeg.at(x, y), kTop, 12)) << x << "," << y << " " << std::hex << jpeg.at(x, y);
        for (int y = height / 2 + 8; y < height; ++y)
            ASSERT_TRUE(near(jpeg.at(x, y), kBottom, 12))
                << x << "," << y << " " << std::hex << jpeg.at(x, y);
    }
}

QStringList filesIn(const TempDir& dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

void expectOneError(const ScriptedPrompter& prompter, const QString& text)
{
    ASSERT_EQ(prompter.shown().size(), 1u);
    EXPECT_EQ(prompter.shown()[0].text, text);
    EXPECT_EQ(prompter.shown()[0].icon, Prompter::Icon::Exclamation);
    EXPECT_EQ(prompter.shown()[0].buttons, Prompter::Buttons::Ok);
    EXPECT_EQ(prompter.shown()[0].title, QStringLiteral("JPEG Library"));
}

TEST(DibPadBytes, PadsRowsToFourBytes)
{
    EXPECT_EQ(DibPadBytes(101, 3), 1);
    EXPECT_EQ(DibPadBytes(320, 3), 0);
    EXPECT_EQ(DibPadBytes(1, 3), 1);
    EXPECT_EQ(DibPadBytes(4, 3), 0);
    EXPECT_EQ(DibPadBytes(2, 3), 2);
    EXPECT_EQ(DibPadBytes(3, 3), 3);
    EXPECT_EQ(DibPadBytes(7, 4), 0);
    EXPECT_EQ(DibPadBytes(0, 3), 0);
    EXPECT_EQ(DibPadBytes(INT_MAX, 3), std::nullopt);
    EXPECT_EQ(DibPadBytes(1 << 30, 2), std::nullopt);
    EXPECT_EQ(DibPadBytes(-5, 3), std::nullopt);
}

TEST(SaveJpeg, WritesThePictureUprightAtItsSize)
{
    TempDir dir;
    ScriptedPrompter prompter;
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(101, 75, 3));
    ASSERT_EQ(dib.BytesPerScanLine(), 304);
    fillHalves(dib);
    const QString path = dir.file("webcam.jpg");
    ASSERT_TRUE(SaveJpeg(dib, path, 90, prompter));
    EXPECT_TRUE(prompter.shown().empty());
    expectHalves(decodeJpeg(path), 101, 75);
    EXPECT_EQ(filesIn(dir), QStringList{"webcam.jpg"});
}

TEST(SaveJpeg, Writes32BitSections)
{
    TempDir dir;
    ScriptedPrompter prompter;
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(64, 48, 4));
    fillHalves(dib);
    const QString path = dir.file("x.jpg");
    ASSERT_TRUE(SaveJpeg(dib, path, 90, prompter));
    expectHalves(decodeJpeg(path), 64, 48);
}

TEST(SaveJpeg, QualityChangesTheSize)
{
    TempDir dir;
    ScriptedPrompter prompter;
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(160, 120, 3));
    fillNoise(dib);
    ASSERT_TRUE(SaveJpeg(dib, dir.file("q60.jpg"), 60, prompter));
    ASSERT_TRUE(SaveJpeg(dib, dir.file("q100.jpg"), 100, prompter));
    const qint64 size60 = QFile(dir.file("q60.jpg")).size();
    const qint64 size100 = QFile(dir.file("q100.jpg")).size();
    EXPECT_GT(size60, 0);
    EXPECT_LT(size60, size100);
}

TEST(SaveJpeg, ReplacesAnExistingFile)
{
    TempDir dir;
    ScriptedPrompter prompter;
    const QString path = dir.file("webcam.jpg");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
    }
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(33, 20, 3));
    fillHalves(dib);
    ASSERT_TRUE(SaveJpeg(dib, path, 75, prompter));
    EXPECT_TRUE(prompter.shown().empty());
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_LT(written.size(), 100000);
    EXPECT_TRUE(written.read(2) == QByteArray("\xff\xd8", 2));
    const Decoded jpeg = decodeJpeg(path);
    ASSERT_TRUE(jpeg.ok);
    EXPECT_EQ(jpeg.width, 33);
    EXPECT_EQ(filesIn(dir), QStringList{"webcam.jpg"});
}

TEST(SaveJpegFailure, MissingFolderGivesTheBoxAndNoFile)
{
    TempDir dir;
    ScriptedPrompter prompter;
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(10, 10, 3));
    EXPECT_FALSE(SaveJpeg(dib, dir.file("no/such/folder/webcam.jpg"), 75, prompter));
    expectOneError(prompter, QStringLiteral("IJL ERROR: [-12] - Failed to save to JPG"));
    EXPECT_TRUE(filesIn(dir).isEmpty());
}

TEST(SaveJpegFailure, ATargetThatCannotBeReplacedLeavesNothingBehind)
{
    TempDir dir;
    ScriptedPrompter prompter;
    ASSERT_TRUE(QDir(dir.path()).mkdir("webcam.jpg"));
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(10, 10, 3));
    EXPECT_FALSE(SaveJpeg(dib, dir.file("webcam.jpg"), 75, prompter));
    expectOneError(prompter, QStringLiteral("IJL ERROR: [-14] - Failed to save to JPG"));
    EXPECT_EQ(filesIn(dir), QStringList{"webcam.jpg"});
    EXPECT_TRUE(QFileInfo(dir.file("webcam.jpg")).isDir());
}

TEST(SaveJpegFailure, AWriteErrorInsideTheEncoderIsReportedNotFatal)
{
    TempDir dir;
    ScriptedPrompter prompter;
    const QString path = dir.file("webcam.jpg");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("previous picture");
    }
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(400, 300, 3));
    fillNoise(dib);

    // A file size limit makes libjpeg's own writes fail part way through the picture.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved_ok = SaveJpeg(dib, path, 95, prompter);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(saved_ok);
    expectOneError(prompter, QStringLiteral("IJL ERROR: [-13] - Failed to save to JPG"));
    EXPECT_EQ(filesIn(dir), QStringList{"webcam.jpg"});
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("previous picture"));
}

TEST(SaveJpegFailure, AnEmptySectionIsRefused)
{
    TempDir dir;
    ScriptedPrompter prompter;
    cDIBSection dib;
    EXPECT_FALSE(SaveJpeg(dib, dir.file("webcam.jpg"), 75, prompter));
    expectOneError(prompter, QStringLiteral("IJL ERROR: [-10] - Failed to save to JPG"));
    EXPECT_TRUE(filesIn(dir).isEmpty());
}

} // namespace
