#include "imaging/cDIBSection.h"

#include "BmpBuilder.h"
#include "TempDir.h"

#include <QFile>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstdlib>
#include <tuple>

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

// A palette case gives its colour count and no pixel functions: indexAt and paletteColour stand in.
struct LoadCase
{
    const char* name;
    Format format;
    int colours = 0;
    BmpBuilder::PixelFn word = {};
    std::function<QRgb(int, int)> colour = {};
    int tolerance = 0;
};

// The case's name, not a dump of its bytes, in test lists and failures.
void PrintTo(const LoadCase& testCase, std::ostream* out)
{
    *out << testCase.name;
}

class DibLoad : public ::testing::TestWithParam<LoadCase>
{
};

TEST_P(DibLoad, ConvertsTo24BitsBottomUp)
{
    LoadCase c = GetParam();
    if (c.colours) {
        c.format.palette = palette(c.colours);
        c.word = [n = c.colours](int x, int y) { return indexAt(x, y, n); };
        c.colour = [n = c.colours](int x, int y) { return paletteColour(int(indexAt(x, y, n))); };
    }
    const QByteArray pixels = c.format.compression == 1 || c.format.compression == 2
                                  ? BmpBuilder::rleRows(kWidth, kHeight, c.format.bitCount, c.word)
                                  : BmpBuilder::packedRows(kWidth, kHeight, c.format, c.word);
    TempDir dir;
    const QString path = writeFile(dir, "p.bmp", BmpBuilder::file(kWidth, kHeight, c.format, pixels));
    cDIBSection dib;
    ASSERT_TRUE(dib.Load(path));
    expectPicture(dib, kWidth, kHeight, c.colour, c.tolerance);
}

// Pixel patterns: 5- and 6-bit channels for the 16-bit files, and colours for the 24/32-bit ones.
const auto r5 = [](int x, int) { return (x * 5) % 32; };
const auto g5 = [](int x, int y) { return (y * 4 + x) % 32; };
const auto b5 = [](int x, int y) { return (x + 3 * y) % 32; };
const auto g6 = [](int x, int y) { return (y * 9 + x * 2) % 64; };
const auto rgb24 = [](int x, int y) {
    return qRgb((x * 19) & 0xff, (y * 37 + 5) & 0xff, ((x + y) * 11 + 100) & 0xff);
};
const auto word24 = [](int x, int y) { return std::uint32_t(rgb24(x, y) & 0xffffff); };
const auto word555 = [](int x, int y) { return std::uint32_t(r5(x, y) << 10 | g5(x, y) << 5 | b5(x, y)); };
const auto word565 = [](int x, int y) { return std::uint32_t(r5(x, y) << 11 | g6(x, y) << 5 | b5(x, y)); };
const auto colour555 = [](int x, int y) {
    return qRgb(r5(x, y) * 255 / 31, g5(x, y) * 255 / 31, b5(x, y) * 255 / 31);
};
const auto colour565 = [](int x, int y) {
    return qRgb(r5(x, y) * 255 / 31, g6(x, y) * 255 / 63, b5(x, y) * 255 / 31);
};

const std::array<std::uint32_t, 4> kMasks555{0x7c00, 0x03e0, 0x001f, 0};
const std::array<std::uint32_t, 4> kMasks565{0xf800, 0x07e0, 0x001f, 0};
const LoadCase kLoadCases[] = {
    {"bits1", Format{40, 1, 0, false, {}, {}}, 2},
    {"bits4", Format{40, 4, 0, false, {}, {}}, 16},
    {"bits8", Format{40, 8, 0, false, {}, {}}, 256},
    {"bits8ShortPalette", Format{40, 8, 0, false, {}, {}}, 5},
    {"bits8TopDown", Format{40, 8, 0, true, {}, {}}, 9},
    {"bits8CoreHeader", Format{12, 8, 0, false, {}, {}}, 256},
    {"rle4", Format{40, 4, 2, false, {}, {}}, 16},
    {"rle8", Format{40, 8, 1, false, {}, {}}, 200},
    {"bits16Rgb555", Format{40, 16, 0, false, {}, {}}, 0, word555, colour555, 8},
    {"bits16Bitfields555", Format{40, 16, 3, false, {}, kMasks555}, 0, word555, colour555, 8},
    {"bits16Bitfields565", Format{40, 16, 3, false, {}, kMasks565}, 0, word565, colour565, 8},
    {"bits16V4Bitfields565", Format{108, 16, 3, false, {}, kMasks565}, 0, word565, colour565, 8},
    {"bits24", Format{40, 24, 0, false, {}, {}}, 0, word24, rgb24, 0},
    {"bits24TopDown", Format{40, 24, 0, true, {}, {}}, 0, word24, rgb24, 0},
    {"bits24V4", Format{108, 24, 0, false, {}, {}}, 0, word24, rgb24, 0},
    {"bits24V5TopDown", Format{124, 24, 0, true, {}, {}}, 0, word24, rgb24, 0},
    // The fourth byte of a plain 32-bit pixel is unused and must not change the colour.
    {"bits32", Format{40, 32, 0, false, {}, {}}, 0, [](int x, int y) { return word24(x, y) | 0x55000000u; },
     rgb24, 0},
    {"bits32TopDown", Format{40, 32, 0, true, {}, {}}, 0, word24, rgb24, 0},
    {"bits32BitfieldsSwapped", Format{40, 32, 3, false, {}, {0x000000ff, 0x0000ff00, 0x00ff0000, 0}}, 0,
     [](int x, int y) {
         const QRgb c = rgb24(x, y);
         return std::uint32_t(qBlue(c) << 16 | qGreen(c) << 8 | qRed(c));
     },
     rgb24, 0},
    // A V5 file with an alpha mask keeps each pixel's colour, also where it is fully transparent.
    {"bits32V5Alpha", Format{124, 32, 3, false, {}, {0x00ff0000, 0x0000ff00, 0x000000ff, 0xff000000}}, 0,
     [](int x, int y) { return word24(x, y) | std::uint32_t((x * 40) & 0xff) << 24; }, rgb24, 0},
};

INSTANTIATE_TEST_SUITE_P(Formats, DibLoad, ::testing::ValuesIn(kLoadCases),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

QByteArray validFile(int width = kWidth, int height = kHeight)
{
    const Format f{40, 24, 0, false, {}, {}};
    return BmpBuilder::file(width, height, f, BmpBuilder::packedRows(width, height, f, word24));
}

// A refused file: the one sentence the windows show, the kind of fault, and an empty instance
// whatever it held before.
void expectRefused(cDIBSection& dib, const QString& path, Failure::Kind kind)
{
    const Result<void> loaded = dib.Load(path);
    ASSERT_FALSE(loaded) << path.toStdString();
    EXPECT_EQ(loaded.failure().sentence, QStringLiteral("Can't load BMP image"));
    EXPECT_EQ(loaded.failure().kind, kind) << path.toStdString();
    EXPECT_TRUE(dib.isEmpty());
    EXPECT_EQ(std::make_tuple(dib.dib_width(), dib.dib_height(), dib.dib_channels(), dib.BytesPerScanLine()),
              std::make_tuple(0, 0, 0, 0));
    EXPECT_EQ(dib.DIBSectionBitsPtr(), nullptr);
}

TEST(DibLoadRefused, MissingTruncatedForeignAndHugeFilesEvenAfterAGoodOneAndGoodOnesReplace)
{
    TempDir dir;
    const QByteArray good = validFile();
    const QByteArray rle = BmpBuilder::file(
        kWidth, kHeight, Format{40, 8, 1, false, palette(16), {}},
        BmpBuilder::rleRows(kWidth, kHeight, 8, [](int x, int y) { return indexAt(x, y, 16); }));
    QImage png(8, 8, QImage::Format_RGB32);
    png.fill(Qt::red);
    ASSERT_TRUE(png.save(dir.file("png.bmp"), "PNG"));
    // Headers that claim 100000 x 100000 pixels, uncompressed and run-length coded, 2e9 x 1, or
    // the largest square a header can hold (its byte count passes even 64 bits).
    const Format f24{40, 24, 0, false, {}, {}};
    const Format f32{40, 32, 0, false, {}, {}};
    const Format f8rle{40, 8, 1, false, palette(2), {}};
    // Headers whose promised pixels are not in the file are damaged; complete ones beyond the
    // limits are too large.
    using K = Failure::Kind;
    const std::tuple<const char*, QByteArray, K> files[] = {
        {"half.bmp", good.left(good.size() / 2), K::Invalid},
        {"header.bmp", good.left(20), K::Invalid},
        {"empty.bmp", QByteArray(), K::Invalid},
        {"halfrle.bmp", rle.left(rle.size() - 20), K::Invalid},
        {"text.bmp", "this is not a picture at all, just text\n", K::Invalid},
        // A bitmap that holds a JPEG, or a header of a kind nobody wrote.
        {"jpeg.bmp", BmpBuilder::file(kWidth, kHeight, Format{40, 24, 4, false, {}, {}}, good.mid(54)),
         K::Unsupported},
        {"header99.bmp", BmpBuilder::file(kWidth, kHeight, Format{99, 24, 0, false, {}, {}}, good.mid(54)),
         K::Unsupported},
        {"huge24.bmp", BmpBuilder::file(100000, 100000, f24, QByteArray(64, '\0')), K::Invalid},
        {"huge8.bmp", BmpBuilder::file(100000, 100000, f8rle, QByteArray("\0\1", 2)), K::TooLarge},
        {"wide.bmp", BmpBuilder::file(2000000000, 1, f8rle, QByteArray("\0\1", 2)), K::TooLarge},
        {"square24.bmp", BmpBuilder::file(0x7fffffff, 0x7fffffff, f24, QByteArray(64, '\0')), K::Invalid},
        {"square32.bmp", BmpBuilder::file(0x7fffffff, 0x7fffffff, f32, QByteArray(64, '\0')), K::Invalid}};

    cDIBSection dib;
    for (const auto& [name, bytes, kind] : files) {
        ASSERT_TRUE(dib.Load(writeFile(dir, "good.bmp", good)));
        expectRefused(dib, writeFile(dir, name, bytes), kind);
    }
    expectRefused(dib, dir.file("missing.bmp"), K::NotFound);
    expectRefused(dib, dir.file("png.bmp"), K::Invalid);

    // Loading again replaces the picture.
    ASSERT_TRUE(dib.Load(writeFile(dir, "a.bmp", validFile(13, 7))));
    ASSERT_TRUE(dib.Load(writeFile(dir, "b.bmp", validFile(4, 3))));
    expectPicture(dib, 4, 3, rgb24);
}

TEST(DibCreate, RowsArePaddedToFourBytesAndOnlyThreeChannelsGive24Bits)
{
    cDIBSection dib;
    // width, height, channels asked, channels and row bytes given
    const std::array<int, 5> made[] = {{101, 75, 3, 3, 304}, {320, 240, 3, 3, 960}, {1, 1, 3, 3, 4},
                                       {5, 3, 4, 4, 20},     {5, 3, 1, 4, 20},      {5, 3, 0, 4, 20},
                                       {4, 2, 3, 3, 12}};
    for (const auto& [w, h, asked, channels, row] : made) {
        ASSERT_TRUE(dib.Create(w, h, asked));
        EXPECT_EQ(
            std::make_tuple(dib.dib_width(), dib.dib_height(), dib.dib_channels(), dib.BytesPerScanLine()),
            std::make_tuple(w, h, channels, row));
    }
    ASSERT_NE(dib.DIBSectionBitsPtr(), nullptr);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(dib.DIBSectionBitsPtr()), 24), QByteArray(24, '\0'));

    EXPECT_TRUE(dib.Create(cDIBSection::kMaxSide, 1, 3));
    using K = Failure::Kind;
    const std::tuple<int, int, K> refused[] = {{0, 3, K::Invalid},
                                               {3, -3, K::Invalid},
                                               {100000, 100000, K::TooLarge},
                                               {cDIBSection::kMaxSide + 1, 1, K::TooLarge},
                                               {cDIBSection::kMaxSide, cDIBSection::kMaxSide, K::TooLarge}};
    for (const auto& [w, h, kind] : refused) {
        const Result<void> created = dib.Create(w, h, 3);
        ASSERT_FALSE(created) << w << "x" << h;
        EXPECT_EQ(created.failure().kind, kind) << w << "x" << h;
        EXPECT_TRUE(dib.isEmpty());
    }
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

TEST(DibImage, FromImageAndBackWithoutAFileAndPaintedAtNaturalSize)
{
    cDIBSection dib;
    const QImage picture = testPicture(13, 7);
    ASSERT_TRUE(dib.fromImage(picture));
    expectPicture(dib, 13, 7, rgb24);

    const QImage view = dib.bottomUpView();
    EXPECT_EQ(view.constBits(), dib.DIBSectionBitsPtr());
    EXPECT_EQ(view.bytesPerLine(), dib.BytesPerScanLine());
    EXPECT_EQ(view.pixel(2, 0), rgb24(2, 6));
    EXPECT_EQ(dib.toImage().convertToFormat(QImage::Format_RGB32), picture);

    const auto painted = [&dib](const std::function<void(QPainter&)>& paint) {
        QImage target(30, 20, QImage::Format_RGB32);
        target.fill(Qt::black);
        QPainter painter(&target);
        paint(painter);
        painter.end();
        return target;
    };
    const QImage whole = painted([&](QPainter& p) { dib.PaintPicture(p, 10, 5); });
    EXPECT_EQ(whole.copy(10, 5, 13, 7), picture);
    EXPECT_EQ(whole.pixel(9, 5), qRgb(0, 0, 0));
    EXPECT_EQ(whole.pixel(23, 11), qRgb(0, 0, 0));
    const QImage part = painted([&](QPainter& p) { dib.PaintPicture(p, 0, 0, 4, 2, 3, 2); });
    EXPECT_EQ(part.copy(0, 0, 4, 2), picture.copy(3, 2, 4, 2));
    EXPECT_EQ(part.pixel(4, 1), qRgb(0, 0, 0));
    EXPECT_EQ(part.pixel(0, 2), qRgb(0, 0, 0));

    EXPECT_FALSE(dib.fromImage(QImage()));
    EXPECT_TRUE(dib.isEmpty());
    EXPECT_TRUE(dib.bottomUpView().isNull());
}

} // namespace
