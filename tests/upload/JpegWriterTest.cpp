#include "upload/JpegWriter.h"

#include "ScriptedPrompter.h"
#include "TempDir.h"
#include "imaging/cDIBSection.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <functional>

#include <sys/resource.h>

namespace {
const QRgb kTop = qRgb(200, 30, 40);
const QRgb kBottom = qRgb(20, 60, 220);

// Picture row 0 at the top, which is the last row in the section's bottom-up memory.
void fill(cDIBSection& dib, const std::function<QRgb(int x, int y)>& colour)
{
    for (int y = 0; y < dib.dib_height(); ++y)
        for (int x = 0; x < dib.dib_width(); ++x) {
            std::uint8_t* p = dib.DIBSectionBitsPtr() +
                              static_cast<std::size_t>(dib.dib_height() - 1 - y) * dib.BytesPerScanLine() +
                              x * dib.dib_channels();
            const QRgb c = colour(x, y);
            p[0] = static_cast<std::uint8_t>(qBlue(c));
            p[1] = static_cast<std::uint8_t>(qGreen(c));
            p[2] = static_cast<std::uint8_t>(qRed(c));
        }
}

void fillHalves(cDIBSection& dib)
{
    fill(dib, [&dib](int, int y) { return y < dib.dib_height() / 2 ? kTop : kBottom; });
}

void fillNoise(cDIBSection& dib)
{
    fill(dib, [](int x, int y) { return qRgb(x * 2654435761u >> 13, y * 40503u + x, x * 3 + y); });
}

// The component ids and "h×v" sampling factors of the frame header, e.g. "1:22 2:11 3:11".
QString frameComponents(const QByteArray& jpeg)
{
    const qsizetype sof = jpeg.indexOf("\xff\xc0");
    if (sof < 0 || jpeg.size() < sof + 10)
        return {};
    QStringList components;
    for (int i = 0; i < jpeg[sof + 9] && sof + 12 + 3 * i <= jpeg.size(); ++i) {
        const auto* c = reinterpret_cast<const uchar*>(jpeg.constData() + sof + 10 + 3 * i);
        components << QString("%1:%2%3").arg(c[0]).arg(c[1] >> 4).arg(c[1] & 15);
    }
    return components.join(' ');
}

bool near(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) <= 12 && qAbs(qGreen(a) - qGreen(b)) <= 12 &&
           qAbs(qBlue(a) - qBlue(b)) <= 12;
}

QStringList filesIn(const TempDir& dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(DibPadBytes, PadsRowsToFourBytes)
{
    EXPECT_EQ(DibPadBytes(101, 3), 1);
    EXPECT_EQ(DibPadBytes(320, 3), 0);
    EXPECT_EQ(DibPadBytes(2, 3), 2);
    EXPECT_EQ(DibPadBytes(3, 3), 3);
    EXPECT_EQ(DibPadBytes(7, 4), 0);
    EXPECT_EQ(DibPadBytes(0, 3), 0);
    EXPECT_EQ(DibPadBytes(INT_MAX, 3), std::nullopt);
    EXPECT_EQ(DibPadBytes(1 << 30, 2), std::nullopt);
    EXPECT_EQ(DibPadBytes(-5, 3), std::nullopt);
}

TEST(SaveJpeg, ReplacesTheFileWithTheUprightPictureAtItsSize)
{
    for (const auto& [width, height, channels] : {std::tuple{101, 75, 3}, std::tuple{64, 48, 4}}) {
        SCOPED_TRACE(channels);
        TempDir dir;
        const QString path = dir.file("webcam.jpg");
        writeFile(path, QByteArray(100000, 'x'));
        cDIBSection dib;
        ASSERT_TRUE(dib.Create(width, height, channels));
        fillHalves(dib);
        ASSERT_TRUE(SaveJpeg(dib, path, 90));
        EXPECT_EQ(filesIn(dir), QStringList{"webcam.jpg"});

        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        EXPECT_EQ(frameComponents(bytes), "1:22 2:11 3:11") << "YCbCr, chroma once per 2×2 block";
        const QImage jpeg = QImage::fromData(bytes, "JPG");
        ASSERT_EQ(jpeg.size(), QSize(width, height));
        // Away from the edge between the halves, where chroma subsampling blurs.
        for (int x : {0, width / 2, width - 1}) {
            for (int y = 0; y < height; ++y) {
                if (qAbs(y - height / 2) < 8)
                    continue;
                ASSERT_TRUE(near(jpeg.pixel(x, y), y < height / 2 ? kTop : kBottom))
                    << x << "," << y << " " << std::hex << jpeg.pixel(x, y);
            }
        }
        // A lower quality gives a smaller file.
        ASSERT_TRUE(SaveJpeg(dib, dir.file("low.jpg"), 40));
        EXPECT_LT(QFile(dir.file("low.jpg")).size(), bytes.size());
    }
}

TEST(SaveJpeg, FailuresCarryTheirOwnCodeAndLeaveNoNewFile)
{
    const struct
    {
        const char* target;
        int width; // 0: an empty section
        bool folderInTheWay;
        int code;
    } cases[] = {{"no/such/folder/webcam.jpg", 10, false, -12},
                 {"webcam.jpg", 10, true, -14},
                 {"webcam.jpg", 0, false, -10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        TempDir dir;
        ASSERT_TRUE(!c.folderInTheWay || QDir(dir.path()).mkdir("webcam.jpg"));
        cDIBSection dib;
        ASSERT_TRUE(c.width == 0 || dib.Create(c.width, 10, 3));
        const Result<void> saved = SaveJpeg(dib, dir.file(c.target), 75);
        ASSERT_FALSE(saved);
        EXPECT_EQ(saved.failure().code, c.code);
        EXPECT_FALSE(saved.failure().sentence.isEmpty());
        EXPECT_EQ(filesIn(dir), c.folderInTheWay ? QStringList{"webcam.jpg"} : QStringList());
    }
}

TEST(SaveJpeg, TheBoxShowsTheCodeAndTheTextOfItsStep)
{
    for (const auto& [code, text] : {std::pair{kJpegInitFailed, "Failed to initialise the IJL library"},
                                     std::pair{kJpegWriteFailed, "Failed to save to JPG"}}) {
        ScriptedPrompter prompter;
        ShowJpegError(Failure::of(Failure::Kind::Io, "the reason", code), prompter);
        ASSERT_EQ(prompter.shown().size(), 1u);
        EXPECT_EQ(prompter.shown()[0].text, QString("IJL ERROR: [%1] - %2").arg(code).arg(text));
        EXPECT_EQ(prompter.shown()[0].icon, Prompter::Icon::Exclamation);
        EXPECT_EQ(prompter.shown()[0].buttons, Prompter::Buttons::Ok);
        EXPECT_EQ(prompter.shown()[0].title, "JPEG Library");
    }
}

TEST(SaveJpeg, AWriteErrorInsideTheEncoderKeepsTheOldFile)
{
    TempDir dir;
    const QString path = dir.file("webcam.jpg");
    writeFile(path, "previous picture");
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
    const Result<void> written = SaveJpeg(dib, path, 95);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    ASSERT_FALSE(written);
    EXPECT_EQ(written.failure().code, kJpegWriteFailed) << "its own code, not the encoder's";
    EXPECT_EQ(filesIn(dir), QStringList{"webcam.jpg"});
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "previous picture");
}
} // namespace
