#include "imaging/cDIBSection.h"

#include "BmpBuilder.h"
#include "ScriptedPrompter.h"
#include "TempDir.h"

#include <QFile>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using BmpBuilder::Format;

QRgb paletteColour(int i)
{
    return qRgb((i * 53 + 7) % 256, (255 - i * 29) & 0xff, (i * 97 + 40) % 256);
}

QList<QRgb> palette(int count)
{
    QList<QRgb> list;
    for (int i = 0; i < count; ++i)
        list << paletteColour(i);
    return list;
}

// Some runs and some single pixels, so run-length files use both of their modes.
std::uint32_t indexAt(int x, int y, int colours)
{
    return static_cast<std::uint32_t>((x < 6 ? x + y : x / 4 + 2 * y) % colours);
}

constexpr int kWidth = 13;
constexpr int kHeight = 7;

QString writeFile(const TempDir& dir, const QString& name, const QByteArray& bytes)
{
    // The fuzz target starts from the files these tests write.
    const QString samples = qEnvironmentVariable("VELMORA_BMP_SAMPLES_DIR");
    if (!samples.isEmpty()) {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        QFile copy(samples + QLatin1Char('/') +
                   QString::fromUtf8(test->name()).replace(QLatin1Char('/'), QLatin1Char('_')) +
                   QLatin1Char('_') + name);
        if (copy.open(QIODevice::WriteOnly))
            copy.write(bytes);
    }
    const QString path = dir.file(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
}

QRgb dibPixel(const cDIBSection& dib, int x, int y)
{
    const std::uint8_t* p = dib.DIBSectionBitsPtr() +
                            static_cast<std::size_t>(dib.dib_height() - 1 - y) * dib.BytesPerScanLine() +
                            x * dib.dib_channels();
    return qRgb(p[2], p[1], p[0]);
}

void expectPicture(const cDIBSection& dib, int width, int height,
                   const std::function<QRgb(int, int)>& expected, int tolerance = 0)
{
    ASSERT_EQ(dib.dib_width(), width);
    ASSERT_EQ(dib.dib_height(), height);
    ASSERT_EQ(dib.dib_channels(), 3);
    ASSERT_EQ(dib.BytesPerScanLine(), (width * 3 + 3) / 4 * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const QRgb got = dibPixel(dib, x, y);
            const QRgb want = expected(x, y);
            const bool close = std::abs(qRed(got) - qRed(want)) <= tolerance &&
                               std::abs(qGreen(got) - qGreen(want)) <= tolerance &&
                               std::abs(qBlue(got) - qBlue(want)) <= tolerance;
            ASSERT_TRUE(close) << "pixel " << x << "," << y << " got " << std::hex << got << " want " << want;
        }
}

struct PaletteCase
{
    const char* name;
    Format format;
    int colours;
};

class DibLoadPalette : public ::testing::TestWithParam<PaletteCase>
{
};

TEST_P(DibLoadPalette, ResolvesTheColoursAt24Bits)
{
    const PaletteCase& c = GetParam();
    Format f = c.format;
    f.palette = palette(c.colours);
    const auto value = [&](int x, int y) { return indexAt(x, y, c.colours); };
    const QByteArray pixels = f.compression == 0 ? BmpBuilder::packedRows(kWidth, kHeight, f, value)
                                                 : BmpBuilder::rleRows(kWidth, kHeight, f.bitCount, value);
    TempDir dir;
    const QString path = writeFile(dir, "p.bmp", BmpBuilder::file(kWidth, kHeight, f, pixels));
    ScriptedPrompter prompter;
    cDIBSection dib;
    ASSERT_TRUE(dib.Load(path, prompter));
    EXPECT_TRUE(prompter.shown().empty());
    expectPicture(dib, kWidth, kHeight,
                  [&](int x, int y) { return paletteColour(int(indexAt(x, y, c.colours))); });
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DibLoadPalette,
    ::testing::Values(PaletteCase{"bits1", Format{40, 1, 0, false, {}, {}}, 2},
                      PaletteCase{"bits4", Format{40, 4, 0, false, {}, {}}, 16},
                      PaletteCase{"bits8", Format{40, 8, 0, false, {}, {}}, 256},
                      PaletteCase{"bits8ShortPalette", Format{40, 8, 0, false, {}, {}}, 5},
                      PaletteCase{"bits8TopDown", Format{40, 8, 0, true, {}, {}}, 9},
                      PaletteCase{"bits8CoreHeader", Format{12, 8, 0, false, {}, {}}, 256},
                      PaletteCase{"rle4", Format{40, 4, 2, false, {}, {}}, 16},
                      PaletteCase{"rle8", Format{40, 8, 1, false, {}, {}}, 200}),
    [](const auto& info) { return std::string(info.param.name); });

struct DirectCase
{
    const char* name;
    Format format;
    std::function<std::uint32_t(int, int)> word;
    std::function<QRgb(int, int)> colour;
    int tolerance;
};

class DibLoadDirect : public ::testing::TestWithParam<DirectCase>
{
};

TEST_P(DibLoadDirect, ConvertsTo24BitsBottomUp)
{
    const DirectCase& c = GetParam();
    TempDir dir;
    const QByteArray pixels = BmpBuilder::packedRows(kWidth, kHeight, c.format, c.word);
    const QString path = writeFile(dir, "d.bmp", BmpBuilder::file(kWidth, kHeight, c.format, pixels));
    ScriptedPrompter prompter;
    cDIBSection dib;
    ASSERT_TRUE(dib.Load(path, prompter));
    EXPECT_TRUE(prompter.shown().empty());
    expectPicture(dib, kWidth, kHeight, c.colour, c.tolerance);
}

int r5(int x, int)
{
    return (x * 5) % 32;
}
int g5(int x, int y)
{
    return (y * 4 + x) % 32;
}
int b5(int x, int y)
{
    return (x + 3 * y) % 32;
}
int scale5(int v)
{
    return v * 255 / 31;
}
int g6(int x, int y)
{
    return (y * 9 + x * 2) % 64;
}
int scale6(int v)
{
    return v * 255 / 63;
}

QRgb rgb24(int x, int y)
{
    return qRgb((x * 19) & 0xff, (y * 37 + 5) & 0xff, ((x + y) * 11 + 100) & 0xff);
}

const DirectCase kDirectCases[] = {
    {"bits16Rgb555", Format{40, 16, 0, false, {}, {}},
     [](int x, int y) { return std::uint32_t(r5(x, y) << 10 | g5(x, y) << 5 | b5(x, y)); },
     [](int x, int y) { return qRgb(scale5(r5(x, y)), scale5(g5(x, y)), scale5(b5(x, y))); }, 8},
    {"bits16Bitfields555", Format{40, 16, 3, false, {}, {0x7c00, 0x03e0, 0x001f, 0}},
     [](int x, int y) { return std::uint32_t(r5(x, y) << 10 | g5(x, y) << 5 | b5(x, y)); },
     [](int x, int y) { return qRgb(scale5(r5(x, y)), scale5(g5(x, y)), scale5(b5(x, y))); }, 8},
    {"bits16Bitfields565", Format{40, 16, 3, false, {}, {0xf800, 0x07e0, 0x001f, 0}},
     [](int x, int y) { return std::uint32_t(r5(x, y) << 11 | g6(x, y) << 5 | b5(x, y)); },
     [](int x, int y) { return qRgb(scale5(r5(x, y)), scale6(g6(x, y)), scale5(b5(x, y))); }, 8},
    {"bits24", Format{40, 24, 0, false, {}, {}},
     [](int x, int y) { return std::uint32_t(rgb24(x, y) & 0xffffff); }, rgb24, 0},
    {"bits24TopDown", Format{40, 24, 0, true, {}, {}},
     [](int x, int y) { return std::uint32_t(rgb24(x, y) & 0xffffff); }, rgb24, 0},
    {"bits24V4", Format{108, 24, 0, false, {}, {}},
     [](int x, int y) { return std::uint32_t(rgb24(x, y) & 0xffffff); }, rgb24, 0},
    {"bits24V5TopDown", Format{124, 24, 0, true, {}, {}},
     [](int x, int y) { return std::uint32_t(rgb24(x, y) & 0xffffff); }, rgb24, 0},
    // The fourth byte of a plain 32-bit pixel is unused and must not change the colour.
    {"bits32", Format{40, 32, 0, false, {}, {}},
     [](int x, int y) { return std::uint32_t(rgb24(x, y) & 0xffffff) | 0x55000000u; }, rgb24, 0},
    {"bits32TopDown", Format{40, 32, 0, true, {}, {}},
     [](int x, int y) { return std::uint32_t(rgb24(x, y) & 0xffffff); }, rgb24, 0},
    {"bits32BitfieldsSwapped", Format{40, 32, 3, false, {}, {0x000000ff, 0x0000ff00, 0x00ff0000, 0}},
     [](int x, int y) {
         const QRgb c = rgb24(x, y);
         return std::uint32_t(qBlue(c) << 16 | qGreen(c) << 8 | qRed(c));
     },
     rgb24, 0},
    // A V5 file with an alpha mask keeps each pixel's colour, also where it is fully transparent.
    {"bits32V5Alpha", Format{124, 32, 3, false, {}, {0x00ff0000, 0x0000ff00, 0x000000ff, 0xff000000}},
     [](int x, int y) {
         return std::uint32_t(rgb24(x, y) & 0xffffff) | std::uint32_t((x * 40) & 0xff) << 24;
     },
     rgb24, 0},
    {"bits16V4Bitfields565", Format{108, 16, 3, false, {}, {0xf800, 0x07e0, 0x001f, 0}},
     [](int x, int y) { return std::uint32_t(r5(x, y) << 11 | g6(x, y) << 5 | b5(x, y)); },
     [](int x, int y) { return qRgb(scale5(r5(x, y)), scale6(g6(x, y)), scale5(b5(x, y))); }, 8},
};

INSTANTIATE_TEST_SUITE_P(Formats, DibLoadDirect, ::testing::ValuesIn(kDirectCases),
                         [](const auto& info) { return std::string(info.param.name); });

QByteArray validFile(int width = kWidth, int height = kHeight)
{
    const Format f{40, 24, 0, false, {}, {}};
    return BmpBuilder::file(width, height, f, BmpBuilder::packedRows(width, height, f, [](int x, int y) {
                                return std::uint32_t(rgb24(x, y) & 0xffffff);
                            }));
}

void expectRefused(cDIBSection& dib, const QString& path)
{
    ScriptedPrompter prompter;
    EXPECT_FALSE(dib.Load(path, prompter));
    ASSERT_EQ(prompter.shown().size(), 1u);
    EXPECT_EQ(prompter.shown()[0].text, QStringLiteral("Can't load BMP image"));
    EXPECT_EQ(prompter.shown()[0].icon, Prompter::Icon::None);
    EXPECT_EQ(prompter.shown()[0].buttons, Prompter::Buttons::Ok);
    EXPECT_EQ(prompter.shown()[0].title, kProgramTitle);
    EXPECT_TRUE(dib.isEmpty());
    EXPECT_EQ(dib.dib_width(), 0);
    EXPECT_EQ(dib.dib_height(), 0);
    EXPECT_EQ(dib.dib_channels(), 0);
    EXPECT_EQ(dib.BytesPerScanLine(), 0);
    EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
}

TEST(DibLoadRefused, MissingTruncatedForeignAndHugeFiles)
{
    TempDir dir;
    {
        cDIBSection dib;
        expectRefused(dib, dir.file("missing.bmp"));
    }
    {
        const QByteArray good = validFile();
        cDIBSection dib;
        expectRefused(dib, writeFile(dir, "half.bmp", good.left(good.size() / 2)));
        expectRefused(dib, writeFile(dir, "header.bmp", good.left(20)));
        expectRefused(dib, writeFile(dir, "empty.bmp", QByteArray()));

        const auto value = [](int x, int y) { return indexAt(x, y, 16); };
        const QByteArray rle = BmpBuilder::file(kWidth, kHeight, Format{40, 8, 1, false, palette(16), {}},
                                                BmpBuilder::rleRows(kWidth, kHeight, 8, value));
        expectRefused(dib, writeFile(dir, "halfrle.bmp", rle.left(rle.size() - 20)));
    }
    {
        cDIBSection dib;
        expectRefused(dib,
                      writeFile(dir, "text.bmp", QByteArray("this is not a picture at all, just text\n")));
        QImage png(8, 8, QImage::Format_RGB32);
        png.fill(Qt::red);
        ASSERT_TRUE(png.save(dir.file("real.png"), "PNG"));
        QFile::rename(dir.file("real.png"), dir.file("png.bmp"));
        expectRefused(dib, dir.file("png.bmp"));
    }
    {
        // Headers that claim 100000 x 100000 pixels, uncompressed and run-length coded.
        cDIBSection dib;
        Format f{40, 24, 0, false, {}, {}};
        expectRefused(
            dib, writeFile(dir, "huge24.bmp", BmpBuilder::file(100000, 100000, f, QByteArray(64, '\0'))));
        Format rle{40, 8, 1, false, palette(2), {}};
        expectRefused(
            dib, writeFile(dir, "huge8.bmp", BmpBuilder::file(100000, 100000, rle, QByteArray("\0\1", 2))));
        Format wide{40, 8, 1, false, palette(2), {}};
        expectRefused(
            dib, writeFile(dir, "wide.bmp", BmpBuilder::file(2000000000, 1, wide, QByteArray("\0\1", 2))));
    }
}

TEST(DibLoadRefused, AFailedLoadEmptiesALoadedInstance)
{
    TempDir dir;
    ScriptedPrompter prompter;
    cDIBSection dib;
    ASSERT_TRUE(dib.Load(writeFile(dir, "good.bmp", validFile()), prompter));
    expectRefused(dib, dir.file("missing.bmp"));
}

TEST(DibLoad, LoadingTwiceReplacesThePicture)
{
    TempDir dir;
    ScriptedPrompter prompter;
    cDIBSection dib;
    ASSERT_TRUE(dib.Load(writeFile(dir, "a.bmp", validFile(13, 7)), prompter));
    ASSERT_TRUE(dib.Load(writeFile(dir, "b.bmp", validFile(4, 3)), prompter));
    EXPECT_TRUE(prompter.shown().empty());
    expectPicture(dib, 4, 3, rgb24);
}

TEST(DibCreate, RowsArePaddedToFourBytes)
{
    cDIBSection dib;
    ASSERT_TRUE(dib.Create(101, 75, 3));
    EXPECT_EQ(dib.BytesPerScanLine(), 304);
    EXPECT_EQ(dib.dib_channels(), 3);
    ASSERT_TRUE(dib.Create(320, 240, 3));
    EXPECT_EQ(dib.BytesPerScanLine(), 960);
    ASSERT_TRUE(dib.Create(1, 1, 3));
    EXPECT_EQ(dib.BytesPerScanLine(), 4);
    ASSERT_TRUE(dib.Create(4, 2, 3));
    EXPECT_EQ(dib.BytesPerScanLine(), 12);
    EXPECT_EQ(dib.dib_width(), 4);
    EXPECT_EQ(dib.dib_height(), 2);
    const std::uint8_t* bits = dib.DIBSectionBitsPtr();
    ASSERT_NE(bits, nullptr);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(bits[i], 0);
}

TEST(DibCreate, AnyChannelCountButThreeGives32Bits)
{
    cDIBSection dib;
    for (int channels : {4, 1, 0}) {
        ASSERT_TRUE(dib.Create(5, 3, channels));
        EXPECT_EQ(dib.dib_channels(), 4);
        EXPECT_EQ(dib.BytesPerScanLine(), 20);
    }
    EXPECT_FALSE(dib.Create(0, 3, 3));
    EXPECT_TRUE(dib.isEmpty());
    EXPECT_FALSE(dib.Create(3, -3, 3));
    EXPECT_FALSE(dib.Create(100000, 100000, 3));
    EXPECT_FALSE(dib.Create(cDIBSection::kMaxSide + 1, 1, 3));
    EXPECT_TRUE(dib.Create(cDIBSection::kMaxSide, 1, 3));
    EXPECT_FALSE(dib.Create(cDIBSection::kMaxSide, cDIBSection::kMaxSide, 3));
    EXPECT_TRUE(dib.isEmpty());
    dib.CleanUp();
    EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
}

QImage testPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, rgb24(x, y));
    return image;
}

TEST(DibImage, FromImageAndBackWithoutAFile)
{
    cDIBSection dib;
    ASSERT_TRUE(dib.fromImage(testPicture(13, 7)));
    expectPicture(dib, 13, 7, rgb24);

    const QImage view = dib.bottomUpView();
    EXPECT_EQ(view.constBits(), dib.DIBSectionBitsPtr());
    EXPECT_EQ(view.bytesPerLine(), dib.BytesPerScanLine());
    EXPECT_EQ(view.pixel(2, 0), rgb24(2, 6));

    const QImage upright = dib.toImage();
    ASSERT_EQ(upright.size(), QSize(13, 7));
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x)
            ASSERT_EQ(upright.pixel(x, y), rgb24(x, y));

    EXPECT_FALSE(dib.fromImage(QImage()));
    EXPECT_TRUE(dib.isEmpty());
    EXPECT_TRUE(dib.bottomUpView().isNull());
}

TEST(DibImage, PaintPictureCopiesAtNaturalSize)
{
    cDIBSection dib;
    ASSERT_TRUE(dib.fromImage(testPicture(13, 7)));
    QImage target(30, 20, QImage::Format_RGB32);
    target.fill(Qt::black);
    {
        QPainter painter(&target);
        dib.PaintPicture(painter, 10, 5);
    }
    EXPECT_EQ(target.pixel(10, 5), rgb24(0, 0));
    EXPECT_EQ(target.pixel(22, 11), rgb24(12, 6));
    EXPECT_EQ(target.pixel(9, 5), qRgb(0, 0, 0));
    EXPECT_EQ(target.pixel(23, 11), qRgb(0, 0, 0));

    target.fill(Qt::black);
    {
        QPainter painter(&target);
        dib.PaintPicture(painter, 0, 0, 4, 2, 3, 2);
    }
    EXPECT_EQ(target.pixel(0, 0), rgb24(3, 2));
    EXPECT_EQ(target.pixel(3, 1), rgb24(6, 3));
    EXPECT_EQ(target.pixel(4, 1), qRgb(0, 0, 0));
    EXPECT_EQ(target.pixel(0, 2), qRgb(0, 0, 0));
}

} // namespace
